#include "cli/Grep.h"

#include <re2/re2.h>

#include <algorithm>
#include <cstring>

namespace sga::cli {
namespace {

// A line longer than this is searched in pieces rather than held whole.
constexpr size_t kLongestHeldLine = size_t{64} << 20;

} // namespace

GrepPattern::~GrepPattern() = default;

Expected<std::shared_ptr<const GrepPattern>> GrepPattern::compile(const std::string& pattern,
                                                                  const GrepOptions& options) {
    RE2::Options re;
    re.set_case_sensitive(!options.ignoreCase);
    re.set_never_nl(true);   // a match never spans two lines
    re.set_log_errors(false);
    re.set_max_mem(int64_t{256} << 20);
    std::string core = options.fixed ? RE2::QuoteMeta(pattern) : pattern;
    if (options.words) core = "(?:^|[^\\w])(?:" + core + ")(?:[^\\w]|$)";
    // "^" and "$" at every line's start and end.
    auto compiled = std::shared_ptr<GrepPattern>(new GrepPattern);
    compiled->regex_ = std::make_unique<RE2>("(?m)(?:" + core + ")", re);
    if (!compiled->regex_->ok())
        return Status::error(ErrorCode::BadField, "bad regular expression: " + compiled->regex_->error());
    return std::shared_ptr<const GrepPattern>(std::move(compiled));
}

EntrySearch::EntrySearch(const GrepPattern& pattern, const GrepOptions& options, std::string prefix)
    : pattern_(pattern), options_(options), prefix_(std::move(prefix)) {}

void EntrySearch::report(int64_t lineNumber, std::string_view line) {
    ++matching_;
    if (options_.pathsOnly) {
        out_ = prefix_ + "\n";
        done_ = true;
        return;
    }
    if (options_.counts) return;
    if (binary_) {
        out_ = prefix_ + ": binary entry matches\n";
        done_ = true;
        return;
    }
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    out_.append(prefix_).append(":").append(std::to_string(lineNumber)).append(":").append(line).append("\n");
}

void EntrySearch::searchLines(std::string_view text) {
    const RE2& re = pattern_.regex();
    size_t pos = 0, counted = 0;
    while (pos < text.size() && !done_) {
        re2::StringPiece match;
        if (!re.Match(re2::StringPiece(text.data(), text.size()), pos, text.size(), RE2::UNANCHORED, &match, 1))
            break;
        const size_t start = static_cast<size_t>(match.data() - text.data());
        const size_t before = start == 0 ? std::string_view::npos : text.rfind('\n', start - 1);
        const size_t lineStart = before == std::string_view::npos ? 0 : before + 1;
        const size_t newline = text.find('\n', start);
        const size_t lineEnd = newline == std::string_view::npos ? text.size() : newline;
        line_ += std::count(text.begin() + static_cast<std::ptrdiff_t>(counted),
                            text.begin() + static_cast<std::ptrdiff_t>(lineStart), '\n');
        counted = lineStart;
        report(line_ + 1, text.substr(lineStart, lineEnd - lineStart));
        if (newline == std::string_view::npos) {
            pos = text.size();
        } else {
            pos = newline + 1;
        }
    }
    line_ += std::count(text.begin() + static_cast<std::ptrdiff_t>(std::min(counted, text.size())), text.end(), '\n');
}

bool EntrySearch::feed(const char* data, size_t size) {
    if (done_) return false;
    if (probed_ < kBinaryProbe && !binary_) {
        const size_t look = std::min(size, kBinaryProbe - probed_);
        if (std::memchr(data, 0, look) != nullptr) {
            binary_ = true;
            // Lines reported before the NUL turned up are not shown for a binary entry.
            if (!options_.pathsOnly && !options_.counts && matching_ > 0) {
                out_ = prefix_ + ": binary entry matches\n";
                done_ = true;
                return false;
            }
        }
        probed_ += look;
    }
    std::string_view rest(data, size);
    if (!pending_.empty()) {
        const size_t newline = rest.find('\n');
        if (newline == std::string_view::npos) {
            pending_.append(rest);
            if (pending_.size() > kLongestHeldLine) {
                searchLines(pending_);
                pending_.clear();
            }
            return !done_;
        }
        pending_.append(rest.substr(0, newline + 1));
        searchLines(pending_);
        pending_.clear();
        rest.remove_prefix(newline + 1);
    }
    const size_t last = rest.rfind('\n');
    if (last == std::string_view::npos) {
        pending_.assign(rest);
        return !done_;
    }
    searchLines(rest.substr(0, last + 1));
    pending_.assign(rest.substr(last + 1));
    return !done_;
}

void EntrySearch::finish() {
    if (!pending_.empty() && !done_) searchLines(pending_);
    pending_.clear();
    if (options_.counts && !options_.pathsOnly && matching_ > 0)
        out_ = prefix_ + ":" + std::to_string(matching_) + "\n";
}

} // namespace sga::cli
