#include "cli/Commands.h"
#include "cli/Scripting.h"

#include "core/ActivityLog.h"
#include "core/TerminalText.h"

#include <array>
#include <cstdint>
#include <cstdio>

namespace sga::cli {
namespace {

std::string hexOf(const uint8_t* bytes, size_t size) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < size; ++i) {
        s.push_back(kDigits[bytes[i] >> 4]);
        s.push_back(kDigits[bytes[i] & 15]);
    }
    return s;
}

// The 256-byte signature: unsigned (all zero), or its first bytes.
std::string signatureText(const std::vector<uint8_t>& signature) {
    bool blank = true;
    for (uint8_t b : signature) blank = blank && b == 0;
    if (blank) return "unsigned (" + std::to_string(signature.size()) + " zero bytes)";
    return "filled, " + hexOf(signature.data(), std::min<size_t>(signature.size(), 16)) +
           "... (not checked)";
}

Json infoJson(const ArchiveModel& model) {
    auto text = [&](const std::string& s, std::string_view what) { return jsonText(modelTextToUtf8(model, s), what); };
    Json info;
    info["layout"] = std::string(layoutName(model.layout));
    info["version"] = std::to_string(model.major) + "." + std::to_string(model.minor);
    info["name"] = text(model.name, "archive name");
    info["drives"] = Json::array();
    for (const ArchiveDrive& d : model.drives)
        info["drives"].push_back(Json{{"alias", text(d.alias, "drive alias")}, {"name", text(d.name, "drive name")}});
    info["folders"] = model.folderCount();
    info["files"] = model.files.size();
    int64_t bytes = 0, stored = 0;
    // Sizes of a hostile index may add up past 64 bits: the sums then stop at the largest.
    auto add = [](int64_t& sum, int64_t value) {
        if (__builtin_add_overflow(sum, value, &sum)) sum = INT64_MAX;
    };
    for (const ArchiveFile& f : model.files) {
        add(bytes, f.size);
        add(stored, f.storedSize);
    }
    info["bytes"] = bytes;
    info["stored"] = stored;
    return info;
}

} // namespace

void addInfoCommand(CLI::App& app, Context& context) {
    struct Options : CommonOptions {
        bool json = false;
    };
    auto options = std::make_shared<Options>();
    auto* sub = app.add_subcommand("info", "Show the archive's layout, header, drives and counts");
    addCommonOptions(*sub, *options);
    sub->add_flag("--json", options->json,
                  "One JSON object: layout, version, name, drives, folders, files, bytes, stored");
    onLoadedArchive(*sub, options, context,
                    [options](LoadedArchive& loaded, LogSink&) {
        const ArchiveModel& model = loaded.model;
        if (options->json) {
            writeJsonLine(infoJson(model));
            return;
        }
        auto text = [&](const std::string& s) { return printable(modelTextToUtf8(model, s)); };
        std::printf("Version:      %s\n", layoutDescription(model).c_str());
        std::printf("Archive name: %s\n", text(model.name).c_str());
        std::printf("Data offset:  %lld\n", static_cast<long long>(model.dataOffset));
        std::printf("ToC:          %lld bytes at %lld\n", static_cast<long long>(model.tocSize),
                    static_cast<long long>(model.tocOffset));
        for (const ArchiveDrive& d : model.drives)
            std::printf("Drive:        %s (%s)\n", text(d.alias).c_str(), text(d.name).c_str());
        std::printf("Folders:      %d\n", model.folderCount());
        std::printf("Files:        %zu\n", model.files.size());
        std::printf("Entries:      %d\n", model.entryCount());
        if (loaded.index)
            std::printf("File records: %d\n", loaded.index->myEngineData.noOfChunks);
        if (model.hasHeaderSignatures) {
            const std::array<uint8_t, 16> zero{};
            if (model.major != 2 && model.dataSignature == zero && model.tocSignature == zero) {
                std::printf("Header MD5s:  not signed (both zero)\n");
            } else {
                std::printf("Data MD5:     %s\n", hexOf(model.dataSignature.data(), 16).c_str());
                std::printf("ToC MD5:      %s\n", hexOf(model.tocSignature.data(), 16).c_str());
            }
        }
        if (model.hashBlockSize != 0)
            std::printf("Hash blocks:  %u bytes\n", model.hashBlockSize);
        if (!model.signature.empty())
            std::printf("Signature:    %s\n", signatureText(model.signature).c_str());
    });
}

} // namespace sga::cli
