#include "imaging/mFit.h"

#include <cmath>

namespace mFit {

int32_t FittedSide(double exact) {
    const auto side = int32_t(std::nearbyint(exact));
    return side == 0 && exact > 0 ? 1 : side;
}

Placement FitInBox(int32_t w, int32_t h, int32_t targetWidth, int32_t targetHeight, int16_t Margin,
                   bool Centre) {
    const int32_t boxWidth = targetWidth - Margin;
    const int32_t boxHeight = targetHeight - Margin;
    if (w > boxWidth) {
        h = w > 0 ? FittedSide(double(h) * (double(boxWidth) / double(w))) : 0;
        w = boxWidth;
    }
    if (h > boxHeight) {
        w = h > 0 ? FittedSide(double(w) * (double(boxHeight) / double(h))) : 0;
        h = boxHeight;
    }
    Placement p{Margin, Margin, w, h};
    if (Centre) {
        p.x = int32_t(std::nearbyint(double(targetWidth - w) / 2.0));
        p.y = int32_t(std::nearbyint(double(targetHeight - h) / 2.0));
    }
    return p;
}

} // namespace mFit
