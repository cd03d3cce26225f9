// The main window's commands in one table of actions, by name: each row holds
// its caption (the letter after "&" is its Alt key, underlined on the
// toolbar), the keys the desktop uses for it, a tooltip that names the keys,
// an icon and the handler the window gives for it. The toolbar is built from
// the table in its designed order, with spacers between groups; the preview's
// context menu holds the same actions, and their keys work anywhere in the
// main window. The commands on files (trash, delete, rename, copy and move to
// a folder, turns, undo) have no button: they live in the context menus of
// the list, the preview and the full view, and their keys.
#pragma once

#include <QAction>
#include <QList>
#include <QObject>
#include <functional>
#include <map>

class QToolBar;
class QWidget;

enum class Command {
    Edit,
    Refresh,
    Exit,
    View,
    Options,
    Help,
    // The commands on files, without a button.
    Trash,
    DeleteForGood,
    Undo,
    Rename,
    CopyTo,
    MoveTo,
    RotateLeft,
    RotateRight,
    Flip,
    // The window filling the screen, or the full view when that is active.
    FullScreen,
};

class cCommandTable : public QObject {
  public:
    using Handlers = std::map<Command, std::function<void()>>;

    // `window` owns the actions; each command runs the handler given for it
    // (a command given none shows, disabled).
    cCommandTable(QWidget* window, const Handlers& handlers);

    // The command's action: triggering it runs the command.
    QAction* Action(Command command) const { return rows_.at(command).action; }
    // The commands' actions, in toolbar order.
    QList<QAction*> Commands() const;
    // The toolbar's actions left to right, a separator for each spacer.
    QList<QAction*> ToolbarActions() const { return toolbar_; }
    // The commands on files in the order of their context menus, a
    // separator between groups.
    QList<QAction*> FileCommands() const { return files_; }
    // Adds the toolbar's actions to `toolbar`, in order.
    void FillToolBar(QToolBar* toolbar) const;

  private:
    struct Row {
        QAction* action = nullptr;
        std::function<void()> handler;
    };
    std::map<Command, Row> rows_;
    QList<QAction*> toolbar_;
    QList<QAction*> files_;
};
