// The full view window: the chosen image at actual size, filling the screen,
// frameless and maximised. A still image shows in `imView` (actual size with
// scroll bars, on black), a GIF plays in `ucGIFView` laid over it. A double
// click or Esc on either closes the window, which is destroyed on close; the
// main window creates a new one for the next full view.
#pragma once

#include "viewers/ImageAceX.h"
#include "viewers/ucGIFViewer.h"

#include <QWidget>

class fFullview : public QWidget {
    Q_OBJECT
  public:
    explicit fFullview(QWidget* owner = nullptr);

    ImageAceX* imView;
    ucGIFViewer* ucGIFView;

  protected:
    void resizeEvent(QResizeEvent*) override;
    void showEvent(QShowEvent*) override;

  private:
    void Form_Resize();
    void OnKeyPress(int16_t& KeyAscii);
};
