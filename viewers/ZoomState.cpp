#include "viewers/ZoomState.h"

#include <algorithm>

namespace {
// Zooms within this ratio of a step's count as that step (rounding of a fit).
constexpr double kSameZoom = 1e-9;
} // namespace

void ZoomState::SetPicture(int width, int height) {
    pictureWidth_ = std::max(width, 0);
    pictureHeight_ = std::max(height, 0);
    zoom_ = 1;
    fitted_ = false;
    originX_ = originY_ = 0;
    Clamp();
}

void ZoomState::SetView(int width, int height) {
    const double centreX = PictureX(viewWidth_ / 2.0), centreY = PictureY(viewHeight_ / 2.0);
    viewWidth_ = std::max(width, 0);
    viewHeight_ = std::max(height, 0);
    if (fitted_) {
        Fit();
        return;
    }
    originX_ = viewWidth_ / 2.0 - centreX * zoom_;
    originY_ = viewHeight_ / 2.0 - centreY * zoom_;
    Clamp();
}

double ZoomState::FitZoom() const {
    if (pictureWidth_ <= 0 || pictureHeight_ <= 0 || viewWidth_ <= 0 || viewHeight_ <= 0) return 1;
    const double fit =
        std::min(double(viewWidth_) / pictureWidth_, double(viewHeight_) / pictureHeight_);
    return std::clamp(fit, ZoomOfStep(kMinStep), ZoomOfStep(kMaxStep));
}

void ZoomState::Fit() {
    zoom_ = FitZoom();
    fitted_ = true;
    Clamp(); // centred: the whole picture is in view
}

void ZoomState::ActualSize() {
    SetZoom(1, viewWidth_ / 2.0, viewHeight_ / 2.0);
}

void ZoomState::ToggleFit() {
    if (fitted_)
        ActualSize();
    else
        Fit();
}

void ZoomState::ZoomBy(int steps, double anchorX, double anchorY) {
    if (steps == 0) return;
    // The step at or next to the zoom now, in the direction asked for.
    const double exact = 2.0 * std::log2(zoom_);
    int step = steps > 0 ? int(std::floor(exact + kSameZoom)) : int(std::ceil(exact - kSameZoom));
    step = std::clamp(step + steps, kMinStep, kMaxStep);
    SetZoom(ZoomOfStep(step), anchorX, anchorY);
}

void ZoomState::SetZoom(double zoom, double anchorX, double anchorY) {
    const double x = PictureX(anchorX), y = PictureY(anchorY);
    zoom_ = zoom;
    fitted_ = false;
    originX_ = anchorX - x * zoom_;
    originY_ = anchorY - y * zoom_;
    Clamp();
}

void ZoomState::PanBy(double dx, double dy) {
    PanTo(originX_ + dx, originY_ + dy);
}

void ZoomState::PanTo(double x, double y) {
    originX_ = x;
    originY_ = y;
    Clamp();
}

void ZoomState::Clamp() {
    // Each side: centred when it fits, otherwise no gap at either edge.
    auto side = [](double origin, double shown, int view) {
        if (shown <= view) return (view - shown) / 2.0;
        return std::clamp(origin, view - shown, 0.0);
    };
    originX_ = side(originX_, ShownWidth(), viewWidth_);
    originY_ = side(originY_, ShownHeight(), viewHeight_);
}
