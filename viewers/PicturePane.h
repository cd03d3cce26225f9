// A picture pane on screen: a widget whose drawing persists in a 32-bit
// picture box of its own size, shown through a view over the box's memory.
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
    PictureBox box_;
};
