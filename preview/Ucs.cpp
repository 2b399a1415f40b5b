#include "preview/Ucs.h"

#include <algorithm>

namespace sga {
namespace {

void appendCodePoint(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

constexpr char32_t kReplacement = 0xFFFD;

} // namespace

bool looksLikeUtf16le(const uint8_t* data, size_t size) {
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) return true;
    const size_t n = std::min<size_t>(size, 512) & ~size_t{1};
    if (n < 2) return false;
    size_t oddZeros = 0, evenZeros = 0;
    for (size_t i = 0; i < n; i += 2) {
        evenZeros += data[i] == 0;
        oddZeros += data[i + 1] == 0;
    }
    const size_t pairs = n / 2;
    return oddZeros * 2 > pairs && evenZeros * 8 < pairs;
}

void Utf16leDecoder::unit(char16_t u, std::string& out) {
    if (!started_) {
        started_ = true;
        if (u == 0xFEFF) return;
    }
    if (high_ != 0) {
        if (u >= 0xDC00 && u <= 0xDFFF) {
            appendCodePoint(out, 0x10000 + ((char32_t{high_} - 0xD800) << 10) + (u - 0xDC00));
            high_ = 0;
            return;
        }
        appendCodePoint(out, kReplacement);
        high_ = 0;
    }
    if (u >= 0xD800 && u <= 0xDBFF) {
        high_ = u;
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
        appendCodePoint(out, kReplacement);
    } else {
        appendCodePoint(out, u);
    }
}

void Utf16leDecoder::feed(const uint8_t* data, size_t size, std::string& out) {
    size_t i = 0;
    if (haveByte_ && size > 0) {
        unit(static_cast<char16_t>(byte_ | data[0] << 8), out);
        haveByte_ = false;
        i = 1;
    }
    for (; i + 1 < size; i += 2) unit(static_cast<char16_t>(data[i] | data[i + 1] << 8), out);
    if (i < size) {
        haveByte_ = true;
        byte_ = data[i];
    }
}

void Utf16leDecoder::finish(std::string& out) {
    if (high_ != 0) appendCodePoint(out, kReplacement);
    if (haveByte_) appendCodePoint(out, kReplacement);
    high_ = 0;
    haveByte_ = false;
}

std::string ucsToUtf8(const uint8_t* data, size_t size) {
    if (!looksLikeUtf16le(data, size)) return std::string(reinterpret_cast<const char*>(data), size);
    std::string out;
    out.reserve(size / 2 * 3 / 2);
    Utf16leDecoder decoder;
    decoder.feed(data, size, out);
    decoder.finish(out);
    return out;
}

} // namespace sga
