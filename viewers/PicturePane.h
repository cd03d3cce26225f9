// A picture pane on screen: a widget whose drawing persists in a 32-bit
// picture box of its own size in the screen's pixels (twice the widget's
// logical size on a screen of ratio 2), shown through a view over the box's
// memory, one box pixel to one pixel of the screen.
// Under a view turn (SetViewTurn) the box takes the turned size (width and
// height traded for a quarter turn) and is shown turned: whoever draws a
// picture fitted to the box draws it fitted to the turned pane, and it is
// seen turned, filling the pane as an upright one would.
// The main window's preview `imgPane` is one.
#pragma once

#include "imaging/PictureBox.h"
#include "viewers/ViewTurn.h"

#include <QWidget>

class PicturePane : public QWidget {
    Q_OBJECT
  public:
    explicit PicturePane(QWidget* parent = nullptr);

    PictureBox& Box() { return box_; }

    // Shows the box turned by `turn` from now on (upright: as it is). Where
    // the box's width and height trade places, it is made anew at the turned
    // size, cleared, and resized() is emitted so that the picture is drawn
    // into it again; otherwise the pane is only repainted. The caller sets
    // it upright again when another file is shown.
    void SetViewTurn(ViewTurn turn);
    ViewTurn GetViewTurn() const { return turn_; }

  signals:
    void resized();

  protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;

  private:
    // The widget's size in the screen's pixels.
    QSize DeviceSize() const;
    // The box's size for it: the turned one.
    QSize BoxSize() const;

    PictureBox box_;
    ViewTurn turn_;
};
