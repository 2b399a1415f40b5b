#pragma once
// Archive texts are 8-bit Windows-1252; paths on disk, the window and the
// command line's output are UTF-8.

#include <string>
#include <string_view>

namespace sga {

std::string cp1252ToUtf8(std::string_view text);
// Characters that Windows-1252 cannot hold become '?'.
std::string utf8ToCp1252(std::string_view text);

} // namespace sga
