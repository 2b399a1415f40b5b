#pragma once
// The hex dump of an entry the window cannot show as text or as a picture.

#include <cstddef>
#include <cstdint>
#include <string>

namespace sga::ui {

// The first 64 KiB of an entry are shown.
inline constexpr size_t kHexPreviewBytes = 64 * 1024;

// One line per 16 bytes: the offset (8 hex digits), the bytes in hex (a
// wider gap after the eighth) and the same bytes as characters (printable
// ASCII as itself, everything else as "."). Lines end in "\n". At most
// kHexPreviewBytes of size are shown; a last line says how many bytes are
// left out.
std::string hexDump(const uint8_t* data, size_t size);

} // namespace sga::ui
