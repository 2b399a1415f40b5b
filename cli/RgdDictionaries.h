#pragma once
// The dictionaries of RGD key names a command uses: every file in the
// dictionary folder, then each --dictionary FILE; a file that cannot be read
// is named on stderr and skipped.

#include "preview/RgdFormat.h"

#include <string>
#include <vector>

namespace sga::cli {

RgdDictionary loadRgdDictionaries(const std::vector<std::string>& files);

} // namespace sga::cli
