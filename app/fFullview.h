// The full view window: the chosen image at actual size, filling the screen,
// frameless and maximised. A still image shows in `imView` (actual size with
// scroll bars, on black, zoomed and moved by the user), a GIF plays in
// `ucGIFView` laid over it. A double click or Esc on either closes the
// window, which is destroyed on close; the main window creates a new one for
// the next full view. Page Down and Page Up ask for the next and the
// previous picture of the list. While a GIF shows, its keys (Space, ',',
// '.', '[' and ']') control its playing before the still picture's view
// sees them: Space pauses there instead of moving on. A file that does not
// decode shows as its name and the reason, white on the black, in place of
// any picture, so that the picture before never stands for it. The main
// window's commands on the file shown (Delete to the trash, the turns, undo)
// work here by their keys and from a right click; the main window runs them
// and shows the next picture after a delete.
#pragma once

#include "viewers/ZoomView.h"
#include "viewers/ucGIFViewer.h"

#include <QLabel>
#include <QWidget>

class fFullview : public QWidget {
    Q_OBJECT
  public:
    explicit fFullview(QWidget* owner = nullptr);

    // Shows a still picture, a copy of `source`'s GIF, or the failure of
    // the file `name` (as the user reads it) with `reason`; each replaces
    // whatever showed before.
    void ShowStill(const StdPicture& picture);
    void ShowGifOf(const ucGIFViewer& source);
    void ShowFailure(const QString& name, const QString& reason);
    // The commands on the file shown: their keys reach them while this
    // window is active, and its context menu holds them.
    void SetCommands(const QList<QAction*>& commands);

    ZoomView* imView;
    ucGIFViewer* ucGIFView;
    QLabel* lblFailure; // the failure's text, hidden while a picture shows

  signals:
    // The next (+1) or the previous (-1) picture of the list is wanted.
    void StepRequested(int delta);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent*) override;
    void showEvent(QShowEvent*) override;

  private:
    void Form_Resize();
    void OnKeyPress(int16_t& KeyAscii);
};
