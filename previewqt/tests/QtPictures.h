#pragma once
// Pictures for the Qt tests: a GIF written in code (Qt reads GIF but cannot
// write it) and a PreviewImage with distinct pixels.

#include "preview/PreviewImage.h"

#include <QByteArray>
#include <QColor>
#include <vector>

namespace sga::testing {

// A GIF of width x height pixels, each an index into the colours (at most 4).
QByteArray buildGif(int width, int height, const std::vector<QColor>& colours,
                    const std::vector<uint8_t>& indices);

// 3 x 2: pixel (x, y) has red 10 + x, green 20 + y, blue 30 + x + 3 y.
PreviewImage threeByTwo();
QColor threeByTwoColour(int x, int y);

} // namespace sga::testing
