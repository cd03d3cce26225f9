// Where a picture lies in a view that zooms and pans, without widgets: the
// zoom (steps of the square root of two from 1/32 to 32 times, or the fit of
// the whole picture into the view), and the picture's top-left corner in the
// view's pixels. A picture smaller than the view on a side is centred on that
// side; a larger one never leaves a gap at its edges. Zooming keeps the
// picture's point under an anchor (the pointer, or the view's centre) where
// it was. Standard library only.
#pragma once

#include <cmath>

class ZoomState {
  public:
    // Zoom steps: the zoom is 2^(step / 2).
    static constexpr int kMinStep = -10; // 1/32
    static constexpr int kMaxStep = 10;  // 32
    static double ZoomOfStep(int step) { return std::exp2(double(step) / 2.0); }

    // A new picture, shown at actual size, centred (its top-left corner in
    // view when it is larger).
    void SetPicture(int width, int height);
    // The view's new size; the picture's point at the view's centre stays
    // there, and a fitted picture is fitted anew.
    void SetView(int width, int height);

    // The whole picture in the view, as large as it fits (within the zoom's
    // bounds), centred.
    void Fit();
    // Actual size, keeping the point at the view's centre.
    void ActualSize();
    // F: fit to the view, or back to actual size from there.
    void ToggleFit();
    // `steps` zoom steps in (positive) or out, the picture's point at
    // (anchorX, anchorY) in the view kept there. From a zoom between steps
    // (a fit), the first step goes to the next step's zoom that way.
    void ZoomBy(int steps, double anchorX, double anchorY);
    // Moves the picture by (dx, dy) view pixels, as far as its edges allow.
    void PanBy(double dx, double dy);
    // Puts the picture's top-left corner at (x, y), as far as its edges allow.
    void PanTo(double x, double y);

    double Zoom() const { return zoom_; }
    bool Fitted() const { return fitted_; }
    double OriginX() const { return originX_; }
    double OriginY() const { return originY_; }
    // The picture's size on the view at this zoom.
    double ShownWidth() const { return pictureWidth_ * zoom_; }
    double ShownHeight() const { return pictureHeight_ * zoom_; }
    int ViewWidth() const { return viewWidth_; }
    int ViewHeight() const { return viewHeight_; }
    // The point of the picture (in its pixels) shown at (x, y) of the view.
    double PictureX(double x) const { return (x - originX_) / zoom_; }
    double PictureY(double y) const { return (y - originY_) / zoom_; }

  private:
    void SetZoom(double zoom, double anchorX, double anchorY);
    void Clamp();
    double FitZoom() const;

    int pictureWidth_ = 0, pictureHeight_ = 0;
    int viewWidth_ = 0, viewHeight_ = 0;
    double zoom_ = 1;
    bool fitted_ = false;
    double originX_ = 0, originY_ = 0;
};
