#pragma once
// Names from an archive are data, not terminal commands: before a name goes
// into human-readable output (listings, messages, reports) its control
// characters and DEL are shown escaped ("\x1b"), and a backslash that would
// read as the start of such an escape stays as it is. Bytes written to files
// or to cat's standard output never pass through here.

#include <string>
#include <string_view>

namespace sga {

// text (UTF-8 or 8-bit) with every byte below 0x20 and 0x7F, and the C1
// controls U+0080 to U+009F as UTF-8 writes them, written as "\xHH".
std::string printable(std::string_view text);

} // namespace sga
