#pragma once
// Running the sga binary on archives built in code, for the scripting
// commands' tests.

#include "tests/support/ArchiveWriter.h"
#include "tests/support/LayoutWriter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace sga::testing {

struct ProgramRun {
    int status = -1;
    std::string out;
    std::string err;
    std::vector<std::string> lines() const {
        std::vector<std::string> out_;
        std::istringstream in(out);
        for (std::string line; std::getline(in, line);) out_.push_back(line);
        return out_;
    }
};

inline std::string shellQuoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

inline std::string asString(const Bytes& b) { return std::string(b.begin(), b.end()); }

// Runs a shell command line with stdout and stderr caught.
inline ProgramRun runShell(const TempDir& dir, const std::string& command) {
    const std::filesystem::path out = dir.path() / ".stdout", err = dir.path() / ".stderr";
    const int raw = std::system((command + " >" + shellQuoted(out.string()) + " 2>" + shellQuoted(err.string())).c_str());
    ProgramRun r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = asString(readFile(out));
    r.err = asString(readFile(err));
    return r;
}

// sga with arguments, each quoted.
inline ProgramRun sga(const TempDir& dir, const std::vector<std::string>& args) {
    std::string command = shellQuoted(SGA_BINARY);
    for (const std::string& a : args) command += " " + shellQuoted(a);
    return runShell(dir, command);
}

// Files by archive path ("\" between parts), in the order archives list them.
using Contents = std::map<std::string, Bytes>;

// The 17-byte layout (version 2): a directory per folder that holds files;
// every other file compressed.
inline Bytes narrowArchive(const Contents& files) {
    ArchivePlan plan;
    std::map<std::string, std::vector<std::pair<std::string, const Bytes*>>> byFolder;
    for (const auto& [path, data] : files) {
        const auto slash = path.rfind('\\');
        byFolder[slash == std::string::npos ? "" : path.substr(0, slash)].push_back(
            {slash == std::string::npos ? path : path.substr(slash + 1), &data});
    }
    int index = 0;
    for (const auto& [folder, list] : byFolder) {
        if (!folder.empty()) plan.dirs.push_back({folder, static_cast<int16_t>(index)});
        for (const auto& [name, data] : list) {
            plan.files.push_back({.name = name, .data = *data, .compress = index % 2 == 0});
            ++index;
        }
    }
    return buildArchive(plan);
}

// A later layout with one drive; every other file zlib-compressed.
inline Bytes layoutArchive(sga::Layout layout, const Contents& files) {
    LayoutPlan plan;
    plan.layout = layout;
    DrivePlan drive;
    int index = 0;
    for (const auto& [path, data] : files) {
        FolderPlan* folder = &drive.root;
        std::string rest = path;
        for (auto slash = rest.find('\\'); slash != std::string::npos; slash = rest.find('\\')) {
            const std::string part = rest.substr(0, slash);
            rest = rest.substr(slash + 1);
            FolderPlan* next = nullptr;
            for (FolderPlan& f : folder->folders)
                if (f.name == part) next = &f;
            if (!next) {
                folder->folders.push_back(FolderPlan{.name = part});
                next = &folder->folders.back();
            }
            folder = next;
        }
        folder->files.push_back({.name = rest, .data = data,
                                 .storeAs = index++ % 2 == 0 ? StoreAs::ZlibStream : StoreAs::Stored});
    }
    plan.drives = {drive};
    return buildLayout(plan);
}

// The same files written below a folder on disk.
inline std::filesystem::path writeFolder(const TempDir& dir, const std::string& name, const Contents& files) {
    for (const auto& [path, data] : files) {
        std::string onDisk = path;
        for (char& c : onDisk)
            if (c == '\\') c = '/';
        dir.write(name + "/" + onDisk, data);
    }
    return dir.path() / name;
}

} // namespace sga::testing
