// A picture box without a window: a 32-bit surface that keeps what is drawn
// on it, a size in pixels and a background colour. The main window's hidden
// load surface `PicLoad` is one; the preview pane draws from one. Its picture
// is the surface itself, shared, not a copy. Standard library only.
#pragma once

#include "imaging/cDIB.h"

#include <functional>
#include <memory>

class PictureBox {
  public:
    static constexpr uint32_t kDefaultBackColor = 0x00E0E0E0; // light grey

    int32_t Width() const { return surface_->Width(); }
    int32_t Height() const { return surface_->Height(); }
    uint32_t BackColor() const { return backColor_; }
    void SetBackColor(uint32_t New_BackColor) { backColor_ = New_BackColor; }

    // Gives the box a new size; its contents are then undefined until Cls.
    // False, with the old size and picture kept, when the surface cannot be had.
    bool SetSize(int32_t width, int32_t height);
    // Makes `surface` (32 bits) the box's picture; its size becomes the box's.
    void AdoptSurface(std::shared_ptr<cDIB> surface) { surface_ = std::move(surface); }
    // Where new surfaces come from when the box changes size: memory of the
    // caller's (the decoder helper's shared memory), or calloc when unset.
    using SurfaceMaker = std::function<bool(cDIB& surface, int32_t width, int32_t height)>;
    void SetSurfaceMaker(SurfaceMaker maker) { maker_ = std::move(maker); }
    // Fills the box with its background colour.
    void Cls() { surface_->Cls(backColor_); }

    HDC hDC() { return surface_->hDC(); }
    const cDIB& Surface() const { return *surface_; }
    // The drawing as a picture: the surface itself.
    StdPicture Image() const { return surface_; }

  private:
    std::shared_ptr<cDIB> surface_ = std::make_shared<cDIB>();
    uint32_t backColor_ = kDefaultBackColor;
    SurfaceMaker maker_;
};
