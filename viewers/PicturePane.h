// A picture pane on screen: a widget whose drawing persists in a 32-bit
// picture box of its own size in the screen's pixels (twice the widget's
// logical size on a screen of ratio 2), shown through a view over the box's
// memory, one box pixel to one pixel of the screen.
// The main window's preview `imgPane` is one.
#pragma once

#include "imaging/PictureBox.h"

#include <QWidget>

class PicturePane : public QWidget {
    Q_OBJECT
  public:
    explicit PicturePane(QWidget* parent = nullptr);

    PictureBox& Box() { return box_; }

  signals:
    void resized();

  protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;

  private:
    // The widget's size in the screen's pixels.
    QSize DeviceSize() const;

    PictureBox box_;
};
