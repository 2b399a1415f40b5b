#include "cli/CliHost.h"

#include <cstdio>
#include <unistd.h>

namespace sga::cli {

CliHost::CliHost() : terminal_(::isatty(STDERR_FILENO) == 1) {}

void CliHost::progressStart(int total) { max_ = total; }

void CliHost::progress(int value, const std::string&) {
    if (!terminal_ || max_ <= 0) return;
    const int percent = static_cast<int>(100LL * value / max_);
    if (percent == shownPercent_) return;
    shownPercent_ = percent;
    const int filled = percent * 40 / 100;
    std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled, "########################################",
                 40 - filled, "", percent);
    std::fflush(stderr);
}

void CliHost::progressEnd() {
    if (!terminal_ || shownPercent_ < 0) return;
    std::fprintf(stderr, "\n");
    shownPercent_ = -1;
}

} // namespace sga::cli
