#include "cli/Interrupt.h"

#include <atomic>

namespace sga::cli {
namespace {

// Lock-free, so both the handler and the workers may touch it.
std::atomic<int> caughtSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void onInterrupt(int signal) {
    int none = 0;
    caughtSignal.compare_exchange_strong(none, signal);
}

} // namespace

InterruptScope::InterruptScope() {
    caughtSignal.store(0);
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &oldInt_);
    ::sigaction(SIGTERM, &action, &oldTerm_);
    ::sigaction(SIGHUP, &action, &oldHup_);
}

InterruptScope::~InterruptScope() {
    ::sigaction(SIGINT, &oldInt_, nullptr);
    ::sigaction(SIGTERM, &oldTerm_, nullptr);
    ::sigaction(SIGHUP, &oldHup_, nullptr);
}

int InterruptScope::caught() { return caughtSignal.load(); }

} // namespace sga::cli
