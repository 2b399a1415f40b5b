#include "archive/PathPattern.h"

#include <algorithm>

namespace sga {
namespace {

// One code unit of Windows-1252 text in lower case.
unsigned char foldCp1252(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 32);
    if (c == 0x8A || c == 0x8C || c == 0x8E) return static_cast<unsigned char>(c + 16);   // Š Œ Ž
    if (c == 0x9F) return 0xFF;                                                           // Ÿ
    return c;
}

bool isContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

} // namespace

std::string foldPathText(std::string_view text, bool utf8) {
    std::string out(text);
    for (size_t i = 0; i < out.size(); ++i) {
        const auto c = static_cast<unsigned char>(out[i]);
        if (c == '/') {
            out[i] = '\\';
        } else if (!utf8) {
            out[i] = static_cast<char>(foldCp1252(c));
        } else if (c >= 'A' && c <= 'Z') {
            out[i] = static_cast<char>(c + 32);
        } else if ((c == 0xC3 || c == 0xC5) && i + 1 < out.size()) {
            const auto next = static_cast<unsigned char>(out[i + 1]);
            if (c == 0xC3 && next >= 0x80 && next <= 0x9E && next != 0x97) {
                out[i + 1] = static_cast<char>(next + 0x20);   // U+00C0..U+00DE but U+00D7
            } else if (c == 0xC5 && (next == 0xA0 || next == 0x92 || next == 0xBD)) {
                out[i + 1] = static_cast<char>(next + 1);      // Š Œ Ž
            } else if (c == 0xC5 && next == 0xB8) {
                out[i] = static_cast<char>(0xC3);              // Ÿ to ÿ, both two bytes
                out[i + 1] = static_cast<char>(0xBF);
            }
            ++i;
        }
    }
    return out;
}

PathPattern::PathPattern(std::string_view pattern, bool utf8) : folded_(foldPathText(pattern, utf8)), utf8_(utf8) {
    // Items: runs of "*" count as one.
    std::string items;
    for (char c : folded_) {
        if (c == '*' && !items.empty() && items.back() == '*') continue;
        items.push_back(c);
        wildcard_ = wildcard_ || c == '*' || c == '?';
    }
    length_ = items.size();
    words_ = length_ / 64 + 1;   // positions 0..length_
    byteMask_.assign(256 * words_, 0);
    starMask_.assign(words_, 0);
    afterAnyMask_.assign(words_, 0);
    auto set = [](uint64_t* bits, size_t i) { bits[i / 64] |= uint64_t{1} << (i % 64); };
    for (size_t i = 0; i < length_; ++i) {
        const auto c = static_cast<unsigned char>(items[i]);
        if (c == '*') {
            set(starMask_.data(), i);
        } else if (c == '?') {
            for (int b = 0; b < 256; ++b)
                if (!(utf8_ && isContinuation(static_cast<unsigned char>(b)))) set(&byteMask_[b * words_], i);
            set(afterAnyMask_.data(), i + 1);
        } else {
            set(&byteMask_[c * words_], i);
        }
    }
}

void PathPattern::closeOverStars(Bits& bits) const {
    // A "*" may match nothing: its position leads on to the next. Runs of
    // "*" are one item, so one step is enough.
    uint64_t carry = 0;
    for (size_t w = 0; w < words_; ++w) {
        const uint64_t stars = bits[w] & starMask_[w];
        const uint64_t moved = stars << 1 | carry;
        carry = stars >> 63;
        bits[w] |= moved;
    }
}

bool PathPattern::run(std::string_view path, Mode mode) const {
    const size_t acceptWord = length_ / 64;
    const uint64_t acceptBit = uint64_t{1} << (length_ % 64);
    Bits now(words_, 0), next(words_, 0);
    now[0] = 1;
    closeOverStars(now);
    auto accepting = [&] { return (now[acceptWord] & acceptBit) != 0; };
    for (size_t i = 0; i < path.size(); ++i) {
        const auto c = static_cast<unsigned char>(path[i]);
        if (mode == Mode::Leading && accepting() && (c == '\\' || (i > 0 && path[i - 1] == '\\'))) return true;
        const uint64_t* mask = &byteMask_[c * words_];
        const bool stay = utf8_ && isContinuation(c);
        uint64_t carry = 0;
        bool any = false;
        for (size_t w = 0; w < words_; ++w) {
            const uint64_t step = now[w] & mask[w];
            uint64_t bits = step << 1 | carry;
            carry = step >> 63;
            bits |= now[w] & starMask_[w];
            if (stay) bits |= now[w] & afterAnyMask_[w];
            next[w] = bits;
            any = any || bits != 0;
        }
        now.swap(next);
        if (mode == Mode::Tail && c == '\\') {
            now[0] |= 1;   // a new start after every "\"
            any = true;
        }
        if (!any) {
            if (mode != Mode::Tail) return false;
            // Nothing alive: only the next start can match.
            const size_t sep = path.find('\\', i + 1);
            if (sep == std::string_view::npos) return false;
            i = sep;
            std::fill(now.begin(), now.end(), 0);
            now[0] = 1;
        }
        closeOverStars(now);
    }
    return accepting();
}

bool PathPattern::matchesWhole(std::string_view path) const { return run(path, Mode::Whole); }
bool PathPattern::selects(std::string_view path) const { return run(path, Mode::Leading); }
bool PathPattern::matchesTail(std::string_view path) const { return run(path, Mode::Tail); }

EntrySelection::EntrySelection(const std::vector<std::string>& patterns, const std::vector<std::string>& excludes,
                               bool utf8)
    : utf8_(utf8), typed_(patterns), used_(patterns.size(), 0) {
    for (const std::string& p : patterns) patterns_.emplace_back(p, utf8);
    for (const std::string& p : excludes) excludes_.emplace_back(p, utf8);
}

bool EntrySelection::takes(std::string_view path) {
    if (empty()) return true;
    const std::string folded = foldPathText(path, utf8_);
    bool selected = patterns_.empty();
    for (size_t i = 0; i < patterns_.size(); ++i) {
        if (patterns_[i].selects(folded)) {
            selected = true;
            used_[i] = 1;
        }
    }
    if (!selected) return false;
    for (const PathPattern& p : excludes_)
        if (p.selects(folded)) return false;
    return true;
}

std::vector<std::string> EntrySelection::unmatched() const {
    std::vector<std::string> out;
    for (size_t i = 0; i < typed_.size(); ++i)
        if (!used_[i]) out.push_back(typed_[i]);
    return out;
}

} // namespace sga
