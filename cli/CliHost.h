#pragma once
#include "core/ReportSink.h"

namespace sga::cli {

// The command line's host: a progress bar on stderr when stderr is a terminal.
class CliHost : public ReportSink {
public:
    CliHost();
    void progressStart(int total) override;
    void progress(int value, const std::string& label) override;
    void progressEnd() override;

private:
    bool terminal_ = false;
    int max_ = 0;
    int shownPercent_ = -1;
};

} // namespace sga::cli
