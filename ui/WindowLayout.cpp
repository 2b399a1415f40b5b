#include "ui/WindowLayout.h"

#include <algorithm>
#include <cmath>

namespace sga::ui {

int twipsToPixels(float twips) {
    return static_cast<int>(std::lround(twips / static_cast<float>(kTwipsPerPixel)));
}

float pixelsToTwips(int pixels) {
    return static_cast<float>(pixels) * static_cast<float>(kTwipsPerPixel);
}

QRect twipsRect(int left, int top, int width, int height) {
    return QRect(twipsToPixels(static_cast<float>(left)), twipsToPixels(static_cast<float>(top)),
                 twipsToPixels(static_cast<float>(width)), twipsToPixels(static_cast<float>(height)));
}

std::optional<PreviewLayout> layoutForWindow(float outerHeight, float outerWidth) {
    if (!(outerHeight > 500.0f)) return std::nullopt;
    // The margins: toolbar, menu bar, title bar and status bar above and
    // below; the tree and the gap to its left.
    const float height = std::max(0.0f, outerHeight - 1450.0f);
    const float width = std::max(0.0f, outerWidth - 3860.0f);
    return PreviewLayout{height, height, width, height, width};
}

} // namespace sga::ui
