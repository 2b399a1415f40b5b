#include "cli/ContentDiff.h"

#include "cli/UnifiedDiff.h"
#include "preview/TextEntry.h"
#include "preview/Ucs.h"

#include <array>

namespace sga::cli {
namespace {

std::string_view asText(const std::vector<uint8_t>& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

std::string plainTextDiff(const ContentSides& s) {
    return unifiedDiff(asText(s.oldBytes), asText(s.newBytes), s.oldLabel, s.newLabel);
}

std::string ucsTextDiff(const ContentSides& s) {
    return unifiedDiff(ucsToUtf8(s.oldBytes.data(), s.oldBytes.size()), ucsToUtf8(s.newBytes.data(), s.newBytes.size()),
                       s.oldLabel, s.newLabel);
}

struct DifferRow {
    std::string_view extension;   // lower case, without the dot
    ContentDiffer differ;
};

// Entry formats with a differ of their own, one row each. The RGD reader's
// key-level differ joins here as {"rgd", ...}, printing
// "~ path.to.key: OLD -> NEW", "+ path.to.key = VALUE" and "- path.to.key".
constexpr std::array<DifferRow, 0> kFormatDiffers{};

} // namespace

ContentDiffer contentDifferFor(std::string_view path) {
    const std::string extension = entryExtension(path);
    for (const DifferRow& row : kFormatDiffers)
        if (row.extension == extension) return row.differ;
    switch (textKindOf(path)) {
    case TextKind::Plain: return plainTextDiff;
    case TextKind::Ucs: return ucsTextDiff;
    case TextKind::NotText: break;
    }
    return nullptr;
}

} // namespace sga::cli
