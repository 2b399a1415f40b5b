#pragma once
// Seeds of the entry-format targets (dds, bc7, rrtex, chunky, rgd), built in
// code from the test builders.

#include "tests/support/ArchiveWriter.h"

#include <string>
#include <vector>

namespace sga::fuzz {

struct FormatSeed {
    std::string target;
    std::string name;
    sga::testing::Bytes bytes;
};

std::vector<FormatSeed> formatSeeds();

} // namespace sga::fuzz
