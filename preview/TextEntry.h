#pragma once
// Which entries are text, by their extension (letter case ignored): the
// window's text types ("lua", "ini", "txt", "events") as they are, and
// "ucs" as UTF-16 to decode. The command line's cat --text, diff --content
// and grep ask here.

#include <cstdint>
#include <string>
#include <string_view>

namespace sga {

enum class TextKind : uint8_t {
    NotText,
    Plain,   // 8-bit or UTF-8 text, shown as it is
    Ucs,     // UTF-16 text (preview/Ucs.h)
};

// The extension of a path's last part, in lower case ("" when there is none).
std::string entryExtension(std::string_view path);
TextKind textKindOf(std::string_view path);
inline bool isTextEntry(std::string_view path) { return textKindOf(path) != TextKind::NotText; }

} // namespace sga
