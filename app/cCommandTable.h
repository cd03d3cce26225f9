// The main window's commands in one table of actions: each with its caption
// (the letter after "&" is its Alt key, underlined on the toolbar), the keys
// the desktop uses for it, a tooltip that names the key, an icon and the
// window's handler. The toolbar is built from the table in its positions
// (1 to 9, the captionless ones as spacers); the preview's context menu
// holds the same actions, and their keys work anywhere in the main window.
#pragma once

#include <QAction>
#include <QList>
#include <QObject>
#include <array>
#include <functional>

class QToolBar;
class QWidget;

class cCommandTable : public QObject {
    Q_OBJECT
  public:
    static constexpr int kPositions = 9;

    // `window` owns the actions; `run` is called with a command's 1-based position.
    cCommandTable(QWidget* window, std::function<void(int)> run);

    // The action at a position; a separator's action for a captionless one.
    QAction* At(int position) const { return actions_[std::size_t(position - 1)]; }
    // The actions with a command, in toolbar order.
    QList<QAction*> Commands() const;
    // Adds every position to `toolbar`, in order.
    void FillToolBar(QToolBar* toolbar);

  private:
    std::array<QAction*, kPositions> actions_{};
};
