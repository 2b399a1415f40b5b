#pragma once
// The activity log: a plain-text trace of what the program did during the
// current run. Every component writes whole lines through a LogSink; the
// file writer appends each line with CR LF and closes the file again, so a
// line is on disk as soon as the call returns.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace sga {

class LogSink {
public:
    virtual ~LogSink() = default;
    // One line of 8-bit text, without its line end.
    virtual void line(std::string_view text) = 0;

    void operator()(std::string_view text) { line(text); }
    // The number form: a space (or "-") before the digits and one space after.
    void operator()(int32_t number) { line(numberForm(number)); }

    static std::string numberForm(int32_t number);
};

// Appends to a file; a line that cannot be written is skipped silently.
class ActivityLog final : public LogSink {
public:
    explicit ActivityLog(std::filesystem::path file) : file_(std::move(file)) {}
    void line(std::string_view text) override;
    const std::filesystem::path& path() const { return file_; }
    // Deletes the file of an earlier run; false when it exists and cannot be removed.
    bool restart() const;

private:
    std::filesystem::path file_;
};

// Discards every line.
class NullLog final : public LogSink {
public:
    void line(std::string_view) override {}
};

// Keeps the lines in memory, for tests and for work done out of order.
class MemoryLog final : public LogSink {
public:
    void line(std::string_view text) override { lines.emplace_back(text); }
    void replayInto(LogSink& sink) const {
        for (const auto& l : lines) sink.line(l);
    }
    std::vector<std::string> lines;
};

} // namespace sga
