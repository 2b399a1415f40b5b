#pragma once
// Archive texts are 8-bit Windows-1252; paths on disk, the window and the
// command line's output are UTF-8.

#include <string>
#include <string_view>

namespace sga {

std::string cp1252ToUtf8(std::string_view text);
// Characters that Windows-1252 cannot hold become '?'.
std::string utf8ToCp1252(std::string_view text);
// Appends one code point below 0x10000 as UTF-8 (a surrogate half as it is).
void appendUtf8(std::string& out, char32_t cp);

} // namespace sga
