#pragma once
// Expectations shared by the picture reader tests.

#include "core/Status.h"
#include "preview/PreviewImage.h"
#include "tests/support/PictureWriter.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sga::testing {

// A picture that no test file decodes to, to show that a refused file leaves
// the previous picture untouched.
PreviewImage sentinelImage();

// Checks (as test expectations) that decode refuses file, that its message
// holds why, and that the picture passed in is left untouched.
using Decoder = Status (*)(std::span<const uint8_t>, PreviewImage&);
void expectRefused(Decoder decode, const Bytes& file, const std::string& why = {});
// Decodes file, expecting success; returns the picture.
PreviewImage expectDecoded(Decoder decode, const Bytes& file);
// Every proper prefix of file is refused; the whole file is read.
void expectEveryPrefixRefused(Decoder decode, const Bytes& file);
// Every byte of file set in turn to a few hostile values: each result is
// either refused with the picture untouched or a consistent picture.
void expectByteChangesSafe(Decoder decode, const Bytes& file);

} // namespace sga::testing
