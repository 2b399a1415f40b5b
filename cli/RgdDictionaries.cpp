#include "cli/RgdDictionaries.h"

#include <iostream>

namespace sga::cli {

RgdDictionary loadRgdDictionaries(const std::vector<std::string>& files) {
    RgdDictionary dictionary;
    for (const std::string& failure : addDictionaryFolder(dictionary, defaultDictionaryFolder()))
        std::cerr << "sga: skipping dictionary " << failure << "\n";
    for (const std::string& file : files)
        if (Status status = dictionary.addFile(file); !status)
            std::cerr << "sga: skipping dictionary " << status.message() << "\n";
    return dictionary;
}

} // namespace sga::cli
