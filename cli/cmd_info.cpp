#include "cli/Commands.h"

#include "core/ActivityLog.h"
#include "core/TerminalText.h"

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

// The 256-byte signature: blank (all zero), or its first bytes.
std::string signatureText(const std::vector<uint8_t>& signature) {
    bool blank = true;
    for (uint8_t b : signature) blank = blank && b == 0;
    if (blank) return "blank (" + std::to_string(signature.size()) + " zero bytes)";
    return "filled, " + hexOf(signature.data(), std::min<size_t>(signature.size(), 16)) +
           "... (not checked)";
}

} // namespace

void addInfoCommand(CLI::App& app, Context& context) {
    auto options = std::make_shared<CommonOptions>();
    auto* sub = app.add_subcommand("info", "Show the archive's layout, header, drives and counts");
    addCommonOptions(*sub, *options);
    onLoadedArchive(*sub, options, context,
                    [](LoadedArchive& loaded, LogSink&) {
        const ArchiveModel& model = loaded.model;
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
            std::printf("Data MD5:     %s\n", hexOf(model.dataSignature.data(), 16).c_str());
            std::printf("ToC MD5:      %s\n", hexOf(model.tocSignature.data(), 16).c_str());
        }
        if (model.hashBlockSize != 0)
            std::printf("Hash blocks:  %u bytes\n", model.hashBlockSize);
        if (!model.signature.empty())
            std::printf("Signature:    %s\n", signatureText(model.signature).c_str());
    });
}

} // namespace sga::cli
