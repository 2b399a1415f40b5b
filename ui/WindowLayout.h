#pragma once
// The main window's geometry, in twips (15 per pixel), and the layout that
// lets the tree and the previews follow the window's size.

#include <QRect>

#include <optional>

namespace sga::ui {

inline constexpr int kTwipsPerPixel = 15;

int twipsToPixels(float twips);
float pixelsToTwips(int pixels);
// A control's rectangle given in twips (left, top, width, height).
QRect twipsRect(int left, int top, int width, int height);

// New sizes of the tree and the two previews, in twips, never negative.
struct PreviewLayout {
    float treeHeight = 0;
    float textHeight = 0;
    float textWidth = 0;
    float pictureHeight = 0;
    float pictureWidth = 0;
};

// outerHeight and outerWidth: the window's outer size in twips, frame,
// title bar and menu bar included. Nothing when the window is not higher
// than 500 twips (minimised, for instance): the layout then stays as it was.
std::optional<PreviewLayout> layoutForWindow(float outerHeight, float outerWidth);

} // namespace sga::ui
