#include "preview/TextEntry.h"

#include <array>

namespace sga {

std::string entryExtension(std::string_view path) {
    const size_t slash = path.find_last_of("\\/");
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return {};
    std::string ext(name.substr(dot + 1));
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return ext;
}

TextKind textKindOf(std::string_view path) {
    static constexpr std::array<std::string_view, 4> kPlain = {"lua", "ini", "txt", "events"};
    const std::string ext = entryExtension(path);
    if (ext == "ucs") return TextKind::Ucs;
    for (std::string_view p : kPlain)
        if (ext == p) return TextKind::Plain;
    return TextKind::NotText;
}

} // namespace sga
