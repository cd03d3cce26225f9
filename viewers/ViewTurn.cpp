#include "viewers/ViewTurn.h"

#include <QTransform>

namespace {
constexpr int kQuarter = 90; // degrees
constexpr int kQuarters = 4;
} // namespace

ViewTurn ViewTurn::Normal() const {
    return {((quarters % kQuarters) + kQuarters) % kQuarters, flipped};
}

ViewTurn ViewTurn::Then(Turn turn) const {
    // A mirror after q quarter turns is the mirror first and -q turns after
    // it; a flip top to bottom is a mirror left to right and a half turn.
    switch (turn) {
    case Turn::Right:
        return ViewTurn{quarters + 1, flipped}.Normal();
    case Turn::Left:
        return ViewTurn{quarters + 3, flipped}.Normal();
    case Turn::Half:
        return ViewTurn{quarters + 2, flipped}.Normal();
    case Turn::FlipHorizontal:
        return ViewTurn{-quarters, !flipped}.Normal();
    case Turn::FlipVertical:
        return ViewTurn{2 - quarters, !flipped}.Normal();
    }
    return *this;
}

QImage TurnedImage(const QImage& picture, ViewTurn turn) {
    turn = turn.Normal();
    if (picture.isNull() || turn.Upright()) return picture.copy();
    const QImage mirrored = turn.flipped ? picture.mirrored(true, false) : picture;
    if (turn.quarters == 0) return mirrored;
    // Whole quarter turns move pixels without resampling.
    return mirrored.transformed(QTransform().rotate(turn.quarters * kQuarter));
}
