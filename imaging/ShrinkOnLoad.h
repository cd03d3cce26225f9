// How far a reader shrinks a picture while it lands it, before the Lanczos
// step brings it to its fit in the box: the one policy every reader asks
// (FreeImage's JPEG DCT scaling, the block means of the HEIF, JPEG XL and
// RAW readers and of FreeImage's large pictures, a camera's embedded JPEG).
// The landed picture always covers its fit in the box, with the margin the
// kind of reduction needs for the Lanczos step to look as it would from the
// whole picture. Standard library only.
#pragma once

#include <span>

namespace ShrinkOnLoad {

// A way a reader can shrink: the factors it can do and how many times its fit
// the landed picture must stay.
struct Reduction {
    std::span<const int> factors; // ascending, from 1; empty: any whole factor
    int margin = 1;
};

// A JPEG's reduced inverse DCT (1/2, 1/4, 1/8 of each side) is the codec's own
// filtered reduction: it need only cover the fit.
inline constexpr int kDctFactors[] = {1, 2, 4, 8};
inline constexpr Reduction kJpegDct{kDctFactors, 1};
// Each k x k block as its mean is a box filter: kept at twice its fit, the
// Lanczos step after it (three fitted pixels either way) smooths the blocks
// away, and a 12 MP photo for an 800 x 600 pane is resampled from 3 MP, not 12.
inline constexpr int kLanczosMargin = 3;
inline constexpr Reduction kBlockMeans{{}, kLanczosMargin};

// The largest factor of `way` by which a picture of `width` x `height`, as
// stored, may be shrunk (each side to its ceiling of side / factor) and still
// cover its fit in a `boxWidth` x `boxHeight` box, `margin` times over where
// the picture is that large. `turned`: the picture stands a quarter turn from
// how it is stored, so the box is compared with it upright. 1 for the whole
// picture (a box with no room), a box larger than the picture, or no sizes.
int Factor(int width, int height, int boxWidth, int boxHeight, Reduction way, bool turned = false);

} // namespace ShrinkOnLoad
