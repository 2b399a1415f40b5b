#pragma once
// A window host for tests: records every call in order as one line of text.

#include "archive/ArchiveTree.h"
#include "core/WindowHost.h"

#include <string>
#include <vector>

namespace sga::testing {

class RecordingHost : public WindowHost {
public:
    void setExtractionEnabled(bool on) override { record(on ? "extract on" : "extract off"); extractionEnabled = on; }
    void setBusy(bool on) override { record(on ? "busy" : "idle"); busy = on; }
    void setStatusText(const std::string& t) override { status = t; if (recordStatus) record("status " + t); }
    void setLabel1(const std::string& t) override { label1 = t; record("label1 " + t); }
    void treeCleared() override { record("tree cleared"); }
    void treeFilled(const ArchiveTree& tree) override { record("tree filled " + std::to_string(tree.size())); }
    void processEvents() override { ++eventsProcessed; }
    void setExtractingLayout(bool on) override { record(on ? "layout extracting" : "layout normal"); extracting = on; }
    void setProgressMax(int max) override { record("progress max " + std::to_string(max)); progressMax = max; }
    void setProgressValue(int v) override { progressValues.push_back(v); }
    void setProgressLabel(const std::string& t) override { progressLabels.push_back(t); }
    bool stopRequested() override { return stopAfterEvents >= 0 && eventsProcessed >= stopAfterEvents; }

    void record(std::string s) { calls.push_back(std::move(s)); }

    std::vector<std::string> calls;
    std::vector<int> progressValues;
    std::vector<std::string> progressLabels;
    std::string status, label1;
    bool extractionEnabled = true, busy = false, extracting = false, recordStatus = false;
    int progressMax = 0, eventsProcessed = 0, stopAfterEvents = -1;
};

} // namespace sga::testing
