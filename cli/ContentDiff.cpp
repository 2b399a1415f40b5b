#include "cli/ContentDiff.h"

#include "cli/RgdDictionaries.h"
#include "cli/UnifiedDiff.h"
#include "core/TerminalText.h"
#include "preview/RgdFormat.h"
#include "preview/TextEntry.h"
#include "preview/Ucs.h"

#include <array>
#include <map>

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

// Every leaf and every empty table of an RGD file by its path as the text
// lines name it ("path.to.key"), with its value as they show it. A path met
// twice keeps its first value.
using RgdLeaves = std::map<std::string, std::string>;

void collectLeaves(const RgdFile& file, const RgdDictionary& dictionary, const std::vector<RgdEntry>& entries,
                   bool list, const std::string& path, RgdLeaves& out) {
    for (const RgdEntry& e : entries) {
        const std::string here = (path.empty() ? "" : path + ".") + rgdKeyName(file, dictionary, e.key, list);
        if (!e.value.isTable()) out.emplace(here, rgdValueText(e.value));
        else if (e.value.entries.empty()) out.emplace(here, "{}");
        else collectLeaves(file, dictionary, e.value.entries, e.value.type == uint32_t(RgdType::List), here, out);
    }
}

// The dictionary folder's names, read once for the whole diff.
const RgdDictionary& folderDictionary() {
    static const RgdDictionary dictionary = loadRgdDictionaries({});
    return dictionary;
}

// "~ path: OLD -> NEW", "+ path = VALUE" and "- path" lines, sorted by path;
// keys are named by the dictionary folder and by the string values of both
// files. A side that is no readable RGD file gives one line saying why instead.
std::string rgdKeyDiff(const ContentSides& s) {
    const auto oldFile = readRgd(s.oldBytes), newFile = readRgd(s.newBytes);
    std::string out;
    if (!oldFile) out = printable(s.oldLabel) + ": cannot compare keys: " + printable(oldFile.message());
    if (!newFile)
        out += (out.empty() ? "" : "; ") + printable(s.newLabel) + ": cannot compare keys: " + printable(newFile.message());
    if (!out.empty()) return out + "\n";
    RgdDictionary dictionary = folderDictionary();
    dictionary.learnFrom(*oldFile);
    dictionary.learnFrom(*newFile);
    RgdLeaves before, after;
    collectLeaves(*oldFile, dictionary, oldFile->entries, false, "", before);
    collectLeaves(*newFile, dictionary, newFile->entries, false, "", after);
    auto a = before.begin(), b = after.begin();
    while (a != before.end() || b != after.end()) {
        if (b == after.end() || (a != before.end() && a->first < b->first)) {
            out += "- " + printable(a->first) + "\n";
            ++a;
        } else if (a == before.end() || b->first < a->first) {
            out += "+ " + printable(b->first) + " = " + printable(b->second) + "\n";
            ++b;
        } else {
            if (a->second != b->second)
                out += "~ " + printable(a->first) + ": " + printable(a->second) + " -> " + printable(b->second) + "\n";
            ++a, ++b;
        }
    }
    return out;
}

struct DifferRow {
    std::string_view extension;   // lower case, without the dot
    ContentDiffer differ;
};

// Entry formats with a differ of their own, one row each.
constexpr std::array<DifferRow, 1> kFormatDiffers{{{"rgd", rgdKeyDiff}}};

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
