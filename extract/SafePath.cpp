#include "extract/SafePath.h"

#include "core/Cp1252.h"

namespace sga {
namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Why this one part cannot be written, or empty when it can.
std::string checkPart(std::string_view part) {
    if (part.empty()) return "empty path component";
    if (part == "." || part == "..") return "path component \"" + std::string(part) + "\"";
    if (part.size() >= 2 && isLetter(part[0]) && part[1] == ':')
        return "drive letter \"" + std::string(part.substr(0, 2)) + "\"";
    for (char c : part) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            return "control character " + std::to_string(byte) + " in a name";
    }
    return {};
}

bool appendParts(std::string_view text, std::filesystem::path& out, std::string& why,
                 TextEncoding encoding) {
    size_t start = 0;
    while (true) {
        size_t end = start;
        while (end < text.size() && !isSeparator(text[end])) ++end;
        const std::string_view part = text.substr(start, end - start);
        why = checkPart(part);
        if (!why.empty()) return false;
        out /= encoding == TextEncoding::Utf8 ? std::string(part) : cp1252ToUtf8(part);
        if (end == text.size()) return true;
        start = end + 1;
    }
}

} // namespace

std::optional<std::filesystem::path> safeRelativePath(std::string_view dirName,
                                                      std::string_view name,
                                                      std::string* reason, TextEncoding encoding) {
    std::filesystem::path out;
    std::string why;
    const bool ok = (dirName.empty() || appendParts(dirName, out, why, encoding)) &&
                    appendParts(name, out, why, encoding);
    if (!ok) {
        if (reason) *reason = why;
        return std::nullopt;
    }
    return out;
}

} // namespace sga
