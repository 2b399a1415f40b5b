#include "fuzz/LayoutSeeds.h"

#include <tuple>

namespace sga::fuzz {

using namespace sga::testing;

namespace {

Bytes pattern(size_t n, unsigned seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>((i * 7 + seed * 13) ^ (i >> 3));
    return b;
}

LayoutPlan seedLayoutPlan(sga::Layout layout, bool twoDrives) {
    LayoutPlan plan;
    plan.layout = layout;
    plan.hashBlockSize = 64;
    const bool brotli = layout != sga::Layout::V2Wide;
    DrivePlan data;
    data.root.files = {{.name = "readme.txt", .data = textBytes("seed\n"), .mtime = 7},
                       {.name = "empty.bin", .data = {}}};
    FolderPlan fx{.name = "fx"};
    fx.files = {{.name = "spark.tga", .data = pattern(150, 5), .storeAs = StoreAs::ZlibStream, .verification = 2},
                {.name = "b.lua", .data = textBytes("x = 1\n"),
                 .storeAs = brotli ? StoreAs::BrotliBuffer : StoreAs::ZlibBuffer, .verification = 3}};
    data.root.folders = {FolderPlan{.name = "art", .folders = {fx},
                                    .files = {{.name = "a.lua", .data = pattern(90, 6), .verification = 4}}}};
    plan.drives = {data};
    if (twoDrives) {
        DrivePlan attrib{.alias = "attrib", .name = "attrib"};
        attrib.root.files = {{.name = "u.rgd", .data = pattern(40, 7), .storeAs = StoreAs::ZlibStream}};
        plan.drives.push_back(attrib);
    }
    return plan;
}

} // namespace

std::vector<LayoutSeed> seedLayouts() {
    std::vector<LayoutSeed> out;
    const std::pair<V2Block, const char*> blocks[] = {
        {V2Block::Name256, "block264"}, {V2Block::Name260, "block268"}, {V2Block::None, "no-block"}};
    for (const auto& [block, name] : blocks) {
        LayoutPlan plan = seedLayoutPlan(sga::Layout::V2Wide, block == V2Block::Name256);
        plan.v2Block = block;
        out.push_back({"v2wide", std::string("v2-") + name + ".sga", plan});
    }
    const std::tuple<const char*, sga::Layout, const char*> families[] = {
        {"v4v5", sga::Layout::V4, "v4"},   {"v4v5", sga::Layout::V5A, "v5-toc-after-data"},
        {"v4v5", sga::Layout::V5B, "v5-wide-counts"}, {"v6v7", sga::Layout::V6, "v6"},
        {"v6v7", sga::Layout::V7, "v7"},   {"v8v10", sga::Layout::V8, "v8"},
        {"v8v10", sga::Layout::V9, "v9"},  {"v8v10", sga::Layout::V10, "v10"}};
    for (const auto& [target, layout, name] : families) {
        out.push_back({target, std::string(name) + ".sga", seedLayoutPlan(layout, false)});
        out.push_back({target, std::string(name) + "-two-drives.sga", seedLayoutPlan(layout, true)});
    }
    return out;
}

} // namespace sga::fuzz
