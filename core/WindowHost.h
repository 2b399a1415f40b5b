#pragma once
// What the core asks of the window it runs under: status texts, the busy
// pointer, the extraction commands, the Extract All progress layout and a
// chance to let pending events run. Every call is a notification; nothing
// the core computes depends on what the host does. The defaults do nothing,
// which is what the command line wants.

#include <string>

namespace sga {

class ArchiveTree;

class WindowHost {
public:
    virtual ~WindowHost() = default;

    // Both extraction menu items and toolbar buttons 3 and 4 together.
    virtual void setExtractionEnabled(bool) {}
    virtual void setBusy(bool) {}
    virtual void setStatusText(const std::string& /*cp1252 text*/) {}
    // The hidden label that keeps the name table's read position.
    virtual void setLabel1(const std::string&) {}
    // The tree was emptied (start of a load, or a failed load).
    virtual void treeCleared() {}
    // The load finished and the tree is complete.
    virtual void treeFilled(const ArchiveTree&) {}
    virtual void processEvents() {}

    // Extract All: the extracting layout (status label and progress bar
    // shown, tree and previews hidden) and its progress.
    virtual void setExtractingLayout(bool /*extracting*/) {}
    virtual void setProgressMax(int) {}
    virtual void setProgressValue(int) {}
    virtual void setProgressLabel(const std::string& /*cp1252 text*/) {}
    // True when the user asked to stop (for instance by closing the window).
    virtual bool stopRequested() { return false; }
};

// The busy pointer for as long as it lives, however the scope is left.
class BusyScope {
public:
    explicit BusyScope(WindowHost& host) : host_(host) { host_.setBusy(true); }
    ~BusyScope() { host_.setBusy(false); }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    WindowHost& host_;
};

} // namespace sga
