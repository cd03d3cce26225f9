#include "imaging/PictureBox.h"

bool PictureBox::SetSize(int32_t width, int32_t height) {
    if (width == Width() && height == Height() && surface_->lpBits()) return true;
    auto next = std::make_shared<cDIB>();
    if (width <= 0 || height <= 0) { // an empty box
        surface_ = next;
        return true;
    }
    if (!(maker_ ? maker_(*next, width, height) : next->Create(width, height, 32))) return false;
    surface_ = next;
    return true;
}
