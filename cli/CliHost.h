#pragma once
#include "core/WindowHost.h"

namespace sga::cli {

// The command line's host: a progress bar on stderr when stderr is a terminal.
class CliHost : public WindowHost {
public:
    CliHost();
    void setProgressMax(int max) override;
    void setProgressValue(int value) override;
    void setExtractingLayout(bool extracting) override;

private:
    bool terminal_ = false;
    int max_ = 0;
    int shownPercent_ = -1;
};

} // namespace sga::cli
