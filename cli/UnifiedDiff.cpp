#include "cli/UnifiedDiff.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

namespace sga::cli {
namespace {

// Lines with their ends ("\n" kept): a last line without one differs from
// the same text with one.
std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        const size_t next = end == std::string_view::npos ? text.size() : end + 1;
        lines.push_back(text.substr(start, next - start));
        start = next;
    }
    return lines;
}

class LineDiff {
public:
    LineDiff(const std::vector<int>& a, const std::vector<int>& b, int costLimit)
        : a_(a), b_(b), costLimit_(costLimit), changedA_(a.size() + 2, 0), changedB_(b.size() + 2, 0) {
        compare(0, static_cast<int>(a.size()), 0, static_cast<int>(b.size()));
    }
    // changed[i + 1] for line i; the slots before the first and after the
    // last line stay 0.
    std::vector<char>& changedA() { return changedA_; }
    std::vector<char>& changedB() { return changedB_; }

private:
    void compare(int aLo, int aHi, int bLo, int bHi) {
        while (aLo < aHi && bLo < bHi && a_[aLo] == b_[bLo]) ++aLo, ++bLo;
        while (aLo < aHi && bLo < bHi && a_[aHi - 1] == b_[bHi - 1]) --aHi, --bHi;
        if (aLo == aHi || bLo == bHi) {
            for (int i = aLo; i < aHi; ++i) changedA_[i + 1] = 1;
            for (int j = bLo; j < bHi; ++j) changedB_[j + 1] = 1;
            return;
        }
        int x = 0, y = 0;
        if (!split(aLo, aHi, bLo, bHi, x, y)) {
            for (int i = aLo; i < aHi; ++i) changedA_[i + 1] = 1;
            for (int j = bLo; j < bHi; ++j) changedB_[j + 1] = 1;
            return;
        }
        compare(aLo, x, bLo, y);
        compare(x, aHi, y, bHi);
    }

    // A point (x, y) strictly inside the box where a shortest edit path
    // crosses: the forward and the backward search meet there. Past the
    // cost limit, the forward point that got furthest stands in.
    bool split(int aLo, int aHi, int bLo, int bHi, int& outX, int& outY) {
        const int n = aHi - aLo, m = bHi - bLo;
        const int maxD = (n + m + 1) / 2;
        const int offset = maxD + 1;
        std::vector<int> forward(2 * static_cast<size_t>(maxD) + 4, -1), backward(forward.size(), -1);
        forward[offset + 1] = 0;
        backward[offset + 1] = 0;
        const int delta = n - m;
        const bool odd = (delta & 1) != 0;
        int fStart = 0, fEnd = 0, bStart = 0, bEnd = 0;
        int bestX = -1, bestY = -1;
        auto a = [&](int i) { return a_[aLo + i]; };
        auto b = [&](int j) { return b_[bLo + j]; };
        for (int d = 0; d < maxD; ++d) {
            if (d > costLimit_) break;
            for (int k = -d + fStart; k <= d - fEnd; k += 2) {
                const int at = offset + k;
                int x = k == -d || (k != d && forward[at - 1] < forward[at + 1]) ? forward[at + 1] : forward[at - 1] + 1;
                int y = x - k;
                while (x < n && y < m && a(x) == b(y)) ++x, ++y;
                forward[at] = x;
                if (x > n) {
                    fEnd += 2;
                } else if (y > m) {
                    fStart += 2;
                } else {
                    if (x + y > bestX + bestY && x + y < n + m) bestX = x, bestY = y;
                    if (odd) {
                        const int other = offset + delta - k;
                        if (other >= 0 && other < static_cast<int>(backward.size()) && backward[other] != -1 &&
                            x >= n - backward[other]) {
                            outX = aLo + x, outY = bLo + y;
                            return true;
                        }
                    }
                }
            }
            for (int k = -d + bStart; k <= d - bEnd; k += 2) {
                const int at = offset + k;
                int x = k == -d || (k != d && backward[at - 1] < backward[at + 1]) ? backward[at + 1]
                                                                                   : backward[at - 1] + 1;
                int y = x - k;
                while (x < n && y < m && a(n - x - 1) == b(m - y - 1)) ++x, ++y;
                backward[at] = x;
                if (x > n) {
                    bEnd += 2;
                } else if (y > m) {
                    bStart += 2;
                } else if (!odd) {
                    const int other = offset + delta - k;
                    if (other >= 0 && other < static_cast<int>(forward.size()) && forward[other] != -1) {
                        const int fx = forward[other];
                        const int fy = fx - (other - offset);
                        if (fx >= n - x) {
                            outX = aLo + fx, outY = bLo + fy;
                            return true;
                        }
                    }
                }
            }
        }
        if (bestX + bestY <= 0) return false;
        outX = aLo + bestX, outY = bLo + bestY;
        return true;
    }

    const std::vector<int>& a_;
    const std::vector<int>& b_;
    int costLimit_;
    std::vector<char> changedA_, changedB_;
};

// Slides each run of changed lines in one text down as far as equal lines
// allow, merging with runs it meets, then back up to where it last lay
// beside a change in the other text (if it did).
void slideChanges(std::vector<char>& changed, const std::vector<char>& otherChanged, const std::vector<int>& lines) {
    // changed[i + 1] is line i; both vectors have a 0 slot at either end.
    const int count = static_cast<int>(lines.size());
    auto c = [&](int i) -> char& { return changed[static_cast<size_t>(i + 1)]; };
    auto o = [&](int j) { return otherChanged[static_cast<size_t>(j + 1)] != 0; };
    const int otherCount = static_cast<int>(otherChanged.size()) - 2;
    int i = 0, j = 0;
    // j back to the other text's unchanged line before it (-1 is the 0 slot).
    auto backUp = [&] {
        do --j;
        while (j >= 0 && o(j));
    };
    while (true) {
        // To the next run, keeping j at the matching place in the other text.
        while (i < count && !c(i)) {
            while (j < otherCount && o(j)) ++j;
            ++i, ++j;
        }
        if (i >= count) break;
        int start = i;
        while (i < count && c(i)) ++i;
        while (j < otherCount && o(j)) ++j;
        int length = 0, corresponding = count;
        do {
            length = i - start;
            // Up while the line above equals the run's last line.
            while (start > 0 && lines[start - 1] == lines[i - 1]) {
                c(--start) = 1;
                c(--i) = 0;
                while (start > 0 && c(start - 1)) --start;
                backUp();
            }
            corresponding = j > 0 && o(j - 1) ? i : count;
            // Down while the run's first line equals the line below.
            while (i < count && lines[start] == lines[i]) {
                c(start++) = 0;
                c(i++) = 1;
                while (i < count && c(i)) ++i;
                ++j;
                while (j < otherCount && o(j)) {
                    ++j;
                    corresponding = i;
                }
            }
        } while (length != i - start);
        while (corresponding < i) {
            c(--start) = 1;
            c(--i) = 0;
            backUp();
        }
    }
}

struct Change {
    int a0, a1, b0, b1;   // old lines [a0, a1) become new lines [b0, b1)
};

std::string rangeText(int start, int count) {
    // "diff -u": an empty range names the line before it.
    if (count == 0) return std::to_string(start) + ",0";
    if (count == 1) return std::to_string(start + 1);
    return std::to_string(start + 1) + "," + std::to_string(count);
}

void appendLine(std::string& out, char mark, std::string_view line) {
    out.push_back(mark);
    out.append(line);
    if (line.empty() || line.back() != '\n') out.append("\n\\ No newline at end of file\n");
}

} // namespace

std::string unifiedDiff(std::string_view oldText, std::string_view newText, std::string_view oldLabel,
                        std::string_view newLabel, const UnifiedDiffOptions& options) {
    if (oldText == newText) return {};
    const std::vector<std::string_view> oldLines = splitLines(oldText), newLines = splitLines(newText);
    std::unordered_map<std::string_view, int> ids;
    auto idsOf = [&](const std::vector<std::string_view>& lines) {
        std::vector<int> out;
        out.reserve(lines.size());
        for (std::string_view line : lines) out.push_back(ids.emplace(line, static_cast<int>(ids.size())).first->second);
        return out;
    };
    const std::vector<int> a = idsOf(oldLines), b = idsOf(newLines);
    LineDiff diff(a, b, std::max(1, options.costLimit));
    slideChanges(diff.changedA(), diff.changedB(), a);
    slideChanges(diff.changedB(), diff.changedA(), b);
    const std::vector<char>& ca = diff.changedA();
    const std::vector<char>& cb = diff.changedB();

    std::vector<Change> changes;
    const int n = static_cast<int>(a.size()), m = static_cast<int>(b.size());
    for (int i = 0, j = 0; i < n || j < m;) {
        if (i < n && j < m && !ca[i + 1] && !cb[j + 1]) {
            ++i, ++j;
            continue;
        }
        Change c{i, i, j, j};
        while (c.a1 < n && ca[c.a1 + 1]) ++c.a1;
        while (c.b1 < m && cb[c.b1 + 1]) ++c.b1;
        if (c.a1 == c.a0 && c.b1 == c.b0) break;   // cannot happen with consistent marks
        changes.push_back(c);
        i = c.a1, j = c.b1;
    }
    if (changes.empty()) return {};

    const int context = std::max(0, options.context);
    std::string out;
    out.append("--- ").append(oldLabel).append("\n+++ ").append(newLabel).append("\n");
    for (size_t first = 0; first < changes.size();) {
        size_t last = first;
        while (last + 1 < changes.size() && changes[last + 1].a0 - changes[last].a1 <= 2 * context) ++last;
        const int before = std::min(context, changes[first].a0);
        const int aStart = changes[first].a0 - before, bStart = changes[first].b0 - before;
        const int after = std::min(context, n - changes[last].a1);
        const int aEnd = changes[last].a1 + after, bEnd = changes[last].b1 + after;
        out.append("@@ -").append(rangeText(aStart, aEnd - aStart)).append(" +");
        out.append(rangeText(bStart, bEnd - bStart)).append(" @@\n");
        int i = aStart;
        for (size_t k = first; k <= last; ++k) {
            const Change& c = changes[k];
            for (; i < c.a0; ++i) appendLine(out, ' ', oldLines[static_cast<size_t>(i)]);
            for (int x = c.a0; x < c.a1; ++x) appendLine(out, '-', oldLines[static_cast<size_t>(x)]);
            for (int y = c.b0; y < c.b1; ++y) appendLine(out, '+', newLines[static_cast<size_t>(y)]);
            i = c.a1;
        }
        for (; i < aEnd; ++i) appendLine(out, ' ', oldLines[static_cast<size_t>(i)]);
        first = last + 1;
    }
    return out;
}

} // namespace sga::cli
