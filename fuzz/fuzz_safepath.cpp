// The extraction path check on arbitrary names. The input is a directory
// name, a zero byte and a file name (no zero byte: a file name at the top
// level). An accepted pair must give a relative path that stays below the
// extraction folder whatever it holds; plain names must be accepted.

#include "extract/SafePath.h"
#include "fuzz/FuzzSupport.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace {

namespace fs = std::filesystem;

// Parts between "\" or "/" that are all letters, digits, "_" or "-".
bool plainParts(std::string_view text, bool mayBeEmpty) {
    if (text.empty()) return mayBeEmpty;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = std::min(text.find_first_of("\\/", start), text.size());
        const std::string_view part = text.substr(start, end - start);
        if (part.empty()) return false;
        for (char c : part) {
            const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                            (c >= '0' && c <= '9') || c == '_' || c == '-';
            if (!ok) return false;
        }
        start = end + 1;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t nul = input.find('\0');
    const std::string_view dirName = nul == std::string_view::npos ? std::string_view() : input.substr(0, nul);
    const std::string_view name = nul == std::string_view::npos ? input : input.substr(nul + 1);

    std::string reason;
    const auto relative = sga::safeRelativePath(dirName, name, &reason);
    if (!relative) {
        FUZZ_CHECK(!reason.empty());
        FUZZ_CHECK(!(plainParts(dirName, true) && plainParts(name, false)));
        return 0;
    }
    FUZZ_CHECK(!relative->empty());
    FUZZ_CHECK(relative->is_relative() && !relative->has_root_name() && !relative->has_root_directory());
    for (const auto& part : *relative) {
        const std::string text = part.string();
        FUZZ_CHECK(!text.empty() && text != "." && text != "..");
        FUZZ_CHECK(text.find('\0') == std::string::npos);
    }
    const fs::path target = "/srv/extract/target";
    const fs::path joined = (target / *relative).lexically_normal();
    const fs::path back = joined.lexically_relative(target);
    FUZZ_CHECK(!back.empty() && *back.begin() != "..");
    FUZZ_CHECK(std::mismatch(target.begin(), target.end(), joined.begin(), joined.end()).first ==
               target.end());
    FUZZ_CHECK(joined != target);
    return 0;
}
