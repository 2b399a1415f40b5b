#pragma once
// What the core tells whichever front end runs it: a status line, the busy
// state, the progress of a long run (Extract all, pack), a chance to let
// pending events run and the question whether the user asked to stop. Log
// lines go to a LogSink. Every call is a notification; nothing the core
// computes depends on what the front end does with it. The defaults do
// nothing, which is what a quiet caller wants.

#include <string>

namespace sga {

class ReportSink {
public:
    virtual ~ReportSink() = default;

    // One line for a status bar (archive text as the log has it).
    virtual void status(const std::string& /*text*/) {}
    // The work takes a while (the window shows the busy pointer).
    virtual void busy(bool /*on*/) {}

    // A long run of total steps begins, advances with a label, and ends.
    virtual void progressStart(int /*total*/) {}
    virtual void progress(int /*value*/, const std::string& /*label*/) {}
    virtual void progressEnd() {}

    virtual void letEventsRun() {}
    // True when the user asked to stop (for instance by closing the window).
    virtual bool stopRequested() { return false; }
};

// Busy for as long as it lives, however the scope is left.
class BusyScope {
public:
    explicit BusyScope(ReportSink& sink) : sink_(sink) { sink_.busy(true); }
    ~BusyScope() { sink_.busy(false); }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    ReportSink& sink_;
};

} // namespace sga
