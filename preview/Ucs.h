#pragma once
// UCS entries: the games' localised text tables, UTF-16 little-endian,
// usually with a byte-order mark (FF FE). Decoded to UTF-8 for the command
// line (cat --text, diff --content, grep) and anything else that shows text.

#include <cstddef>
#include <cstdint>
#include <string>

namespace sga {

// True when the bytes are UTF-16LE: they start with FF FE, or (without a
// mark) zero bytes fill most odd positions of the first 512 bytes and few
// even ones, as Latin text in UTF-16LE does.
bool looksLikeUtf16le(const uint8_t* data, size_t size);

// UTF-16LE to UTF-8 in pieces of any size: a byte or surrogate half left at
// a piece's end waits for the next. Unpaired surrogates and a final odd byte
// become U+FFFD. A leading byte-order mark is dropped.
class Utf16leDecoder {
public:
    void feed(const uint8_t* data, size_t size, std::string& out);
    void finish(std::string& out);

private:
    void unit(char16_t u, std::string& out);
    bool started_ = false;
    bool haveByte_ = false;
    uint8_t byte_ = 0;
    char16_t high_ = 0;   // a high surrogate waiting for its low half
};

// An entry's bytes as UTF-8 text: decoded when they look like UTF-16LE,
// otherwise as they are.
std::string ucsToUtf8(const uint8_t* data, size_t size);

} // namespace sga
