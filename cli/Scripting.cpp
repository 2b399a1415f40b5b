#include "cli/Scripting.h"

#include "archive/PathPattern.h"
#include "core/Cp1252.h"
#include "core/TerminalText.h"

#include <cstdio>
#include <iostream>

namespace sga::cli {
namespace {

Status noMatch(const std::vector<std::string>& unmatched) {
    std::string message;
    for (const std::string& p : unmatched) {
        if (!message.empty()) message += "\nsga: ";
        message += "no entry matches " + printable(p);
    }
    return Status::error(message);
}

} // namespace

CLI::Option* addSelectionOptions(CLI::App& sub, SelectionOptions& options) {
    auto* positional = sub.add_option("PATTERN", options.patterns,
                                      "Only entries whose path, or a leading folder of it, matches a PATTERN "
                                      "(* any run, \\ included; ? one character; case ignored; / for \\)");
    sub.add_option("--exclude", options.excludes, "Leave out entries matching PATTERN (repeatable)")
        ->type_name("PATTERN")
        ->allow_extra_args(false);
    return positional;
}

Expected<std::vector<size_t>> selectFiles(const ArchiveModel& model, const SelectionOptions& options) {
    std::vector<size_t> out;
    if (!options.any()) {
        out.resize(model.files.size());
        for (size_t i = 0; i < out.size(); ++i) out[i] = i;
        return out;
    }
    const bool utf8 = model.encoding == TextEncoding::Utf8;
    auto inArchiveText = [&](std::vector<std::string> typed) {
        if (!utf8)
            for (std::string& t : typed) t = utf8ToCp1252(t);
        return typed;
    };
    EntrySelection selection(inArchiveText(options.patterns), inArchiveText(options.excludes), utf8);
    for (size_t i = 0; i < model.files.size(); ++i)
        if (selection.takes(model.files[i].path())) out.push_back(i);
    const std::vector<std::string> unmatched = selection.unmatched();
    if (!options.patterns.empty() && unmatched.size() == options.patterns.size()) return noMatch(options.patterns);
    return out;
}

Expected<std::vector<size_t>> selectPaths(const std::vector<std::string>& utf8Paths, const SelectionOptions& options) {
    std::vector<size_t> out;
    EntrySelection selection(options.patterns, options.excludes, true);
    for (size_t i = 0; i < utf8Paths.size(); ++i)
        if (selection.takes(utf8Paths[i])) out.push_back(i);
    if (!options.patterns.empty() && selection.unmatched().size() == options.patterns.size())
        return noMatch(options.patterns);
    return out;
}

bool narrowToSelection(LoadedArchive& loaded, const SelectionOptions& options, Context& context) {
    const auto selected = selectFiles(loaded.model, options);
    if (!selected) {
        std::cerr << "sga: " << selected.message() << "\n";
        context.exitCode = kFailed;
        return false;
    }
    if (options.any()) loaded.model = modelOfFiles(loaded.model, *selected);
    return true;
}

ArchiveModel modelOfFiles(const ArchiveModel& model, const std::vector<size_t>& files) {
    ArchiveModel out = model;
    out.files.clear();
    out.folders.clear();
    std::vector<uint8_t> keep(model.folders.size(), 0);
    for (size_t i : files) {
        // Up the chain of parents; a damaged chain (a loop) stops at a kept folder.
        for (int32_t f = model.files[i].folderIndex; f >= 0 && static_cast<size_t>(f) < keep.size() && !keep[f];
             f = model.folders[static_cast<size_t>(f)].parent)
            keep[static_cast<size_t>(f)] = 1;
    }
    std::vector<int32_t> newIndex(model.folders.size(), -1);
    for (size_t f = 0; f < model.folders.size(); ++f) {
        if (!keep[f]) continue;
        newIndex[f] = static_cast<int32_t>(out.folders.size());
        out.folders.push_back(model.folders[f]);
    }
    auto remap = [&](int32_t f) { return f >= 0 && static_cast<size_t>(f) < newIndex.size() ? newIndex[f] : -1; };
    for (ArchiveFolder& f : out.folders) f.parent = remap(f.parent);
    for (ArchiveDrive& d : out.drives) d.rootFolder = remap(d.rootFolder);
    for (size_t i : files) {
        out.files.push_back(model.files[i]);
        out.files.back().folderIndex = remap(model.files[i].folderIndex);
    }
    return out;
}

std::optional<uint32_t> knownCrcOfBytes(const ArchiveModel& model, const ArchiveFile& file) {
    if (model.layout == Layout::V2Narrow) return std::nullopt;
    switch (file.crcKind) {
    case CrcKind::None: return std::nullopt;
    case CrcKind::OfBytes: return file.crc;
    case CrcKind::OfStoredBytes:
    case CrcKind::OfEither: break;
    }
    // Of the stored bytes: the same thing when they are stored as they are.
    if (file.storage == Storage::Stored && file.storedSize == file.size) return file.crc;
    return std::nullopt;
}

std::string crcHex(uint32_t crc) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", crc);
    return text;
}

bool isValidUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t n = 0;
        char32_t cp = 0, least = 0;
        if (c >= 0xC2 && c <= 0xDF) n = 1, cp = c & 0x1F, least = 0x80;
        else if (c >= 0xE0 && c <= 0xEF) n = 2, cp = c & 0x0F, least = 0x800;
        else if (c >= 0xF0 && c <= 0xF4) n = 3, cp = c & 0x07, least = 0x10000;
        else return false;
        for (size_t k = 1; k <= n; ++k) {
            if (i + k >= text.size()) return false;
            const auto d = static_cast<unsigned char>(text[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            cp = cp << 6 | (d & 0x3F);
        }
        if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += n + 1;
    }
    return true;
}

Json jsonText(std::string_view text, std::string_view what) {
    if (!isValidUtf8(text))
        std::cerr << "sga: " << printable(text) << ": " << what << " is not valid UTF-8; written with U+FFFD\n";
    return Json(std::string(text));
}

void writeJsonLine(const Json& object) {
    const std::string line = object.dump(-1, ' ', false, Json::error_handler_t::replace);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}

} // namespace sga::cli
