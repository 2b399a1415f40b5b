#pragma once
// A report sink for tests: records every call in order as one line of text.

#include "core/ReportSink.h"

#include <string>
#include <vector>

namespace sga::testing {

class RecordingHost : public ReportSink {
public:
    void status(const std::string& t) override { statusText = t; if (recordStatus) record("status " + t); }
    void busy(bool on) override { record(on ? "busy" : "idle"); isBusy = on; }
    void progressStart(int total) override { record("progress start " + std::to_string(total)); progressMax = total; running = true; }
    void progress(int v, const std::string& label) override { progressValues.push_back(v); progressLabels.push_back(label); }
    void progressEnd() override { record("progress end"); running = false; }
    void letEventsRun() override { ++eventsProcessed; }
    bool stopRequested() override { return stopAfterEvents >= 0 && eventsProcessed >= stopAfterEvents; }

    void record(std::string s) { calls.push_back(std::move(s)); }

    std::vector<std::string> calls;
    std::vector<int> progressValues;
    std::vector<std::string> progressLabels;
    std::string statusText;
    bool isBusy = false, running = false, recordStatus = false;
    int progressMax = 0, eventsProcessed = 0, stopAfterEvents = -1;
};

} // namespace sga::testing
