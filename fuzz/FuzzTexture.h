#pragma once
// The check every texture decoder gets: an accepted picture is complete and
// within the size limit; a refused one says why.

#include "fuzz/FuzzSupport.h"
#include "preview/TextureSize.h"

namespace sga::fuzz {

inline void checkTexture(const Expected<Picture>& picture) {
    if (!picture) {
        FUZZ_CHECK(!picture.message().empty());
        return;
    }
    FUZZ_CHECK(picture->width >= 1 && picture->width <= static_cast<int32_t>(kMaxTextureSide));
    FUZZ_CHECK(picture->height >= 1 && picture->height <= static_cast<int32_t>(kMaxTextureSide));
    FUZZ_CHECK(picture->rgba.size() ==
               static_cast<size_t>(picture->width) * static_cast<size_t>(picture->height) * 4);
    FUZZ_CHECK(!picture->format.empty());
}

} // namespace sga::fuzz
