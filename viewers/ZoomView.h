// A still picture that the user zooms and pans: opens at actual size (centred
// when it fits, from its top-left corner when it does not) on the back
// colour, with scroll bars where it is larger than the view. F fits the whole
// picture or goes back to actual size; Ctrl with the wheel, and + and -, zoom
// around the pointer (keys: around the centre); 1 or Ctrl+0 is actual size.
// The left button drags the picture, the arrow keys and the wheel move it.
// Above actual size the pixels are drawn sharp; below it smooth, from a
// chain of halved copies made when first needed, so that a large picture
// zoomed out repaints quickly. The zoom shows for a moment after it changes.
// Sizes, zoom and panning count the screen's own pixels, so that at actual
// size each picture pixel is one pixel of the screen, also at a ratio of 2.
// A view turn shows the picture turned or flipped, its file unchanged: the
// fit stays a fit, any other zoom starts again at actual size.
// The full view shows still pictures in one (`imView`).
#pragma once

#include "imaging/cDIB.h"
#include "viewers/ViewTurn.h"
#include "viewers/ZoomState.h"

#include <QAbstractScrollArea>
#include <QImage>
#include <QLabel>
#include <QTimer>
#include <cstdint>
#include <vector>

class ZoomView : public QAbstractScrollArea {
    Q_OBJECT
  public:
    // How long the zoom shows after it changes.
    static constexpr int kIndicatorMs = 1000;
    // An arrow key moves the picture by this share of the view.
    static constexpr int kArrowShare = 8;

    explicit ZoomView(QWidget* parent = nullptr);

    void SetBackColor(uint32_t colour);
    // Shows `picture` (32-bit, or null for none) at actual size, upright.
    void SetPicture(const StdPicture& picture);
    StdPicture Shown() const { return picture_; }
    // Shows the picture turned by `turn` (of the picture as given, not of
    // the turn before); SetPicture sets it upright again.
    void SetViewTurn(ViewTurn turn);
    ViewTurn GetViewTurn() const { return turn_; }
    const ZoomState& State() const { return state_; }
    // The zoom text the indicator shows now, e.g. "200 %".
    QString ZoomText() const;
    bool IndicatorVisible() const { return indicator_->isVisible(); }

  signals:
    void DblClick();
    // Esc (27) and the keys this view does not use, as character codes.
    void KeyPress(int16_t& KeyAscii);
    // Page Down, Space (+1) and Page Up, Backspace (-1): the next or previous picture.
    void StepRequested(int delta);

  protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void keyPressEvent(QKeyEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;

  private:
    // After the zoom or the place changed: scroll bars, repaint, and the
    // indicator when the zoom changed.
    void Changed(bool zoomChanged);
    // The screen's pixels to one of the view's logical pixels.
    double Ratio() const;
    // Gives the zoom the view's size in the screen's pixels; true when it changed.
    bool SetViewSize();
    void SyncScrollBars();
    // The copy to draw from at `zoom`, and its scale against the picture.
    const QImage& LevelFor(double zoom, double& scale);
    // The picture under the view turn as the first level, shown at actual
    // size, or fitted when `fit`.
    void ShowTurned(bool fit);

    StdPicture picture_;
    ViewTurn turn_;
    std::vector<QImage> levels_; // levels_[k] is the picture, turned, halved k times
    ZoomState state_;
    uint32_t backColor_ = 0;
    QLabel* indicator_;
    QTimer indicatorTimer_;
    bool dragging_ = false;
    QPoint dragFrom_;
    bool syncing_ = false; // the bars are being set from the state
};
