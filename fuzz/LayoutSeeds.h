#pragma once
// Archives of the later layouts, each for the fuzz target of its family
// (v2wide, v4v5, v6v7, v8v10): nested folders, one or two drives, every
// storage and verification kind the layout has, the three version 2 blocks.

#include "tests/support/LayoutWriter.h"

#include <string>
#include <vector>

namespace sga::fuzz {

struct LayoutSeed {
    std::string target;
    std::string name;
    sga::testing::LayoutPlan plan;
};
std::vector<LayoutSeed> seedLayouts();

} // namespace sga::fuzz
