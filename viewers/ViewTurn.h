// A picture shown turned or flipped while its file stays as it is (for the
// formats that cannot be turned losslessly): mirrored left to right first
// when `flipped`, then turned `quarters` quarter turns clockwise. The turns
// a person asks for compose onto what is shown now. The preview pane and the
// full view's image view each show their picture under one.
#pragma once

#include "imaging/Orientation.h"

#include <QImage>

struct ViewTurn {
    int quarters = 0; // 0 to 3, clockwise
    bool flipped = false;

    bool Upright() const { return quarters == 0 && !flipped; }
    // A quarter or three: the picture's width and height trade places.
    bool Sideways() const { return quarters % 2 != 0; }
    // What is shown now, turned by `turn` as the person sees it.
    ViewTurn Then(Turn turn) const;
    // The same turn with `quarters` brought into 0 to 3.
    ViewTurn Normal() const;
    bool operator==(const ViewTurn&) const = default;
};

// A copy of `picture` turned by `turn`, pixel for pixel (no resampling).
QImage TurnedImage(const QImage& picture, ViewTurn turn);
