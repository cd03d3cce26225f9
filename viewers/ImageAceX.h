// The image display control: one picture shown either at actual size in a
// clipping viewport with scroll bars (centred when it fits), or shrunk to fit
// the control with an area-averaging scale. It draws an optional 3D edge and
// passes clicks, double clicks, key presses and mouse buttons of its surface,
// its viewport and its picture on to the host. The full view window shows
// still images in one (`imView`).
#pragma once

#include "imaging/cDIB.h"

#include <QImage>
#include <QPushButton>
#include <QScrollBar>
#include <QWidget>
#include <cstdint>

class ImageAceX : public QWidget {
    Q_OBJECT
  public:
    enum DisplayMode : int32_t { DisplayActualSize = 0, DisplayFit = 1 };
    enum BorderStyles : int32_t {
        BorderNone = 0,
        BorderRaisedOuter,
        BorderRaisedInner,
        BorderSunkenOuter,
        BorderSunkenInner,
        BorderRaised,
        BorderSunken,
        BorderEtched,
        BorderBump
    };
    static constexpr int kBarThickness = 15;
    static constexpr int kInset = 2;
    static constexpr uint32_t kDefaultBackColor = 0x8000000F;

    explicit ImageAceX(QWidget* parent = nullptr);

    int32_t BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(int32_t New_BorderStyle);
    int32_t Displaymode() const { return displayMode_; }
    void SetDisplaymode(int32_t New_Displaymode);
    uint32_t BackColor() const { return backColor_; }
    void SetBackColor(uint32_t New_BackColor);
    // The stored picture; shown from the next resize or display-mode write.
    StdPicture Picture() const { return source_; }
    void SetPicture(const StdPicture& New_Picture);

    // The children, named as the control's parts.
    QWidget* picScl; // the viewport
    QWidget* picDst; // the picture at actual size, moved to scroll
    QScrollBar* hSB;
    QScrollBar* vSB;
    QPushButton* cmdCorner;

    // The scroll maxima as the layout computed them (16-bit), and the
    // picture shown by `picDst`.
    int HMax() const { return hMax_; }
    int VMax() const { return vMax_; }
    StdPicture Shown() const { return shown_; }
    // The fitted drawing of display mode 1: where it landed in the viewport.
    QRect FittedRect() const { return fitted_; }
    const QImage& ViewportImage() const { return viewportImage_; }

  signals:
    void Click();
    void DblClick();
    void KeyPress(int16_t& KeyAscii);
    void MouseDown(int16_t& Button, int16_t& Shift, float& X, float& Y);
    void MouseUp(int16_t& Button, int16_t& Shift, float& X, float& Y);

  protected:
    void resizeEvent(QResizeEvent*) override;
    void paintEvent(QPaintEvent*) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    void OnResize();
    void LayoutActualSize();
    void DrawFitted(const StdPicture& source, int margin, bool centre);
    QSize ShownSize() const;

    int32_t displayMode_ = DisplayActualSize;
    int32_t borderStyle_ = BorderNone;
    uint32_t backColor_ = kDefaultBackColor;
    StdPicture source_; // iSrc
    StdPicture shown_;  // picDst's picture
    int hMax_ = 0, vMax_ = 0;
    QRect fitted_;
    QImage viewportImage_; // picScl's persistent drawing in fit mode
};
