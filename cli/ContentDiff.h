#pragma once
// What "sga diff --content" prints after the M line of a modified entry,
// chosen by the entry's extension: a unified diff of text entries (.ucs
// decoded from UTF-16 first), and for any extension with a differ of its
// own, that differ's lines (.rgd: one line per changed key).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sga::cli {

struct ContentSides {
    std::string_view oldLabel;   // "OLD/PATH" as the header lines show it
    std::string_view newLabel;
    const std::vector<uint8_t>& oldBytes;
    const std::vector<uint8_t>& newBytes;
};

// Returns the lines to print (ending in a newline), empty for none.
using ContentDiffer = std::string (*)(const ContentSides& sides);

// The differ for an entry path, or null when its content is not compared.
ContentDiffer contentDifferFor(std::string_view path);

} // namespace sga::cli
