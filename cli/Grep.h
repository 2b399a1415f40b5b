#pragma once
// Searching an entry's decoded bytes line by line with a regular
// expression of RE2 (linear time in the text, whatever the pattern).

#include "core/Status.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace re2 {
class RE2;
}

namespace sga::cli {

struct GrepOptions {
    bool ignoreCase = false;    // -i
    bool fixed = false;         // -F: the pattern is a plain string
    bool words = false;         // -w: the match stands between non-word characters or line ends
    bool pathsOnly = false;     // -l
    bool counts = false;        // -c
};

class GrepPattern {
public:
    static Expected<std::shared_ptr<const GrepPattern>> compile(const std::string& pattern, const GrepOptions& options);
    ~GrepPattern();
    const re2::RE2& regex() const { return *regex_; }

private:
    GrepPattern() = default;
    std::unique_ptr<re2::RE2> regex_;
};

// Bytes that hold a NUL in their first 8 KiB are a binary entry.
constexpr size_t kBinaryProbe = 8192;

// One entry's search: bytes arrive in pieces (whole lines are searched as
// soon as they are complete), the report is ready after finish().
class EntrySearch {
public:
    // prefix: "PATH" or "ARCHIVE:PATH" as printed before each line.
    EntrySearch(const GrepPattern& pattern, const GrepOptions& options, std::string prefix);
    // false once nothing more can change the report (-l after a match).
    bool feed(const char* data, size_t size);
    void finish();

    int64_t matchingLines() const { return matching_; }
    // What this entry prints: "PREFIX:LINE:TEXT" lines, "PREFIX: binary entry
    // matches", "PREFIX" (-l) or "PREFIX:COUNT" (-c); empty when nothing matched.
    const std::string& output() const { return out_; }

private:
    void searchLines(std::string_view text);
    void report(int64_t lineNumber, std::string_view line);

    const GrepPattern& pattern_;
    GrepOptions options_;
    std::string prefix_;
    std::string pending_;       // an incomplete last line waiting for its end
    std::string out_;
    int64_t line_ = 0;          // lines before the text being searched
    int64_t matching_ = 0;
    size_t probed_ = 0;         // bytes of the first 8 KiB looked at
    bool binary_ = false;
    bool done_ = false;
};

} // namespace sga::cli
