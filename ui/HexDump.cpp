#include "ui/HexDump.h"

#include <algorithm>

namespace sga::ui {

std::string hexDump(const uint8_t* data, size_t size) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    const size_t shown = std::min(size, kHexPreviewBytes);
    std::string out;
    out.reserve((shown / 16 + 2) * 80);
    for (size_t line = 0; line < shown; line += 16) {
        for (int shift = 28; shift >= 0; shift -= 4) out += kDigits[(line >> shift) & 0xF];
        out += "  ";
        const size_t n = std::min<size_t>(16, shown - line);
        for (size_t i = 0; i < 16; ++i) {
            if (i == 8) out += ' ';
            if (i < n) {
                out += kDigits[data[line + i] >> 4];
                out += kDigits[data[line + i] & 0xF];
                out += ' ';
            } else {
                out += "   ";
            }
        }
        out += ' ';
        for (size_t i = 0; i < n; ++i) {
            const uint8_t c = data[line + i];
            out += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '.';
        }
        out += '\n';
    }
    if (size > shown) out += "... " + std::to_string(size - shown) + " more bytes not shown\n";
    return out;
}

} // namespace sga::ui
