// Where a picture goes in a box: shrunk to fit with its aspect ratio kept,
// never enlarged, centred or at a margin. Every road that fits a picture
// asks here (the preview, the decoder's box, thumbnails, the image display
// control), so that they agree to the pixel. Standard library only.
#pragma once

#include <cstdint>

namespace mFit {

struct Placement {
    int32_t x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Placement&) const = default;
};

// A side of `exact` pixels, the result of shrinking (or stretching) a side to
// fit, rounded to the nearest whole pixel, halves to even. A side with any
// length at all keeps at least 1 pixel, so that a thin picture (10000 x 1 in
// a small box) shows a row instead of vanishing; a box with no room gives 0.
int32_t FittedSide(double exact);

// Where an image of `w` x `h` lands in a target of the given inner size: the
// box is the target less `Margin`; a side larger than the box is brought to
// it, the other side following (the width first, then the height from the
// new values); centred in the whole target, or at (`Margin`, `Margin`).
Placement FitInBox(int32_t w, int32_t h, int32_t targetWidth, int32_t targetHeight, int16_t Margin,
                   bool Centre);

} // namespace mFit
