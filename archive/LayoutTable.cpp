#include "archive/LayoutTable.h"

#include <cctype>
#include <string>

namespace sga {
namespace {

constexpr bool rowsInEnumOrder() {
    for (size_t i = 0; i < std::size(kLayoutTable); ++i) {
        if (static_cast<size_t>(kLayoutTable[i].layout) != i) return false;
    }
    return true;
}
static_assert(rowsInEnumOrder(), "one row per layout, in the order of the enum");

bool sameKey(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

} // namespace

const LayoutTraits& traitsOf(Layout layout) {
    const auto i = static_cast<size_t>(layout);
    return i < std::size(kLayoutTable) ? kLayoutTable[i] : kLayoutTable[0];
}

Expected<Layout> layoutNamed(std::string_view key) {
    std::string keys;
    for (const LayoutTraits& row : layoutTable()) {
        if (sameKey(row.key, key)) return row.layout;
        keys += (keys.empty() ? "" : ", ") + std::string(row.key);
    }
    return Status::error(ErrorCode::Unsupported,
                         "no layout is called \"" + std::string(key) + "\"; the layouts are " + keys);
}

} // namespace sga
