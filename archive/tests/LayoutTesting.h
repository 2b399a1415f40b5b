#pragma once
// Shared by the layout reader tests: reading archive bytes through the
// detector and the reader, every layout in a list, and the plans most tests
// start from.

#include "archive/LayoutReaders.h"
#include "core/ActivityLog.h"
#include "core/FileReader.h"
#include "tests/support/LayoutWriter.h"

#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace sga::testing {

// Every layout the table gives a reader, in table order.
inline const std::vector<sga::Layout>& allLayouts() {
    static const std::vector<sga::Layout> layouts = [] {
        std::vector<sga::Layout> out;
        for (const sga::LayoutTraits& row : sga::layoutTable())
            if (row.read != nullptr) out.push_back(row.layout);
        return out;
    }();
    return layouts;
}

inline std::string layoutLabel(sga::Layout layout) { return std::string(sga::traitsOf(layout).key); }

// Reads archive bytes through one in-memory file (sweeps write thousands).
class LayoutFiles {
public:
    struct Read {
        Expected<sga::Layout> layout = Status::error("not read");
        Expected<ArchiveModel> model = Status::error("not read");
    };

    LayoutFiles() : fd_(::memfd_create("layout-test", MFD_CLOEXEC)) {}
    ~LayoutFiles() {
        if (fd_ >= 0) ::close(fd_);
    }
    LayoutFiles(const LayoutFiles&) = delete;
    LayoutFiles& operator=(const LayoutFiles&) = delete;

    Read read(const Bytes& bytes, LogSink& log) {
        Read r;
        if (fd_ < 0 || ::ftruncate(fd_, 0) != 0) return r;
        if (!bytes.empty() && ::pwrite(fd_, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size())) return r;
        FileReader file;
        if (!file.open("/proc/self/fd/" + std::to_string(fd_))) return r;
        r.layout = detectLayout(file);
        if (r.layout && *r.layout != sga::Layout::V2Narrow) r.model = readLayout(file, *r.layout, log);
        return r;
    }
    Read read(const Bytes& bytes) {
        NullLog log;
        return read(bytes, log);
    }

private:
    int fd_;
};

inline bool modernLayout(sga::Layout l) { return l >= sga::Layout::V6; }
inline bool hasBrotli(sga::Layout l) { return l != sga::Layout::V2Wide; }

// One drive: files at the root (one empty), nested folders, every storage
// kind the layout can have, a name with a space and one outside ASCII.
inline LayoutPlan samplePlan(sga::Layout layout) {
    LayoutPlan plan;
    plan.layout = layout;
    const std::string accented = modernLayout(layout) ? "caf\xC3\xA9.txt" : "caf\xE9.txt";
    DrivePlan drive;
    drive.root.files = {{.name = "root.txt", .data = textBytes("at the root\n"), .mtime = 1700000000},
                        {.name = "empty.bin", .data = {}}};
    FolderPlan fx{.name = "fx"};
    fx.files = {{.name = "spark one.txt", .data = Bytes(500, 's'), .storeAs = StoreAs::ZlibStream},
                {.name = accented, .data = textBytes("noir"), .storeAs = StoreAs::ZlibBuffer}};
    if (hasBrotli(layout)) {
        fx.files.push_back({.name = "b1.lua", .data = Bytes(300, 'b'), .storeAs = StoreAs::BrotliStream});
        fx.files.push_back({.name = "b2.lua", .data = textBytes("x = 1"), .storeAs = StoreAs::BrotliBuffer});
    }
    FolderPlan art{.name = "art", .folders = {fx}};
    art.files = {{.name = "a.lua", .data = textBytes("print('a')\n"), .mtime = 42}};
    drive.root.folders = {art, FolderPlan{.name = "scripts"}};
    plan.drives = {drive};
    return plan;
}

// Two drives, "data" and "attrib", each with a folder and a file.
inline LayoutPlan twoDrivePlan(sga::Layout layout) {
    LayoutPlan plan;
    plan.layout = layout;
    DrivePlan data;
    data.root.files = {{.name = "top.txt", .data = textBytes("top")}};
    data.root.folders = {FolderPlan{.name = "art", .files = {{.name = "a.txt", .data = textBytes("a")}}}};
    DrivePlan attrib{.alias = "attrib", .name = "attributes"};
    attrib.root.folders = {FolderPlan{.name = "units", .files = {{.name = "u.txt", .data = textBytes("u")}}}};
    plan.drives = {data, attrib};
    return plan;
}

} // namespace sga::testing
