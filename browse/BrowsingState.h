// What the windows of a browsing session share: the chosen filter's pattern,
// the folder the tree selected last, the pane the tree lives in, the tree
// itself, and who is told when that folder changes or goes. The start-up owns
// one and hands it to the main window and the folder tree.
#pragma once

#include <QPointer>
#include <QTreeView>
#include <QWidget>
#include <functional>
#include <string>

struct BrowsingState {
    // The ";"-separated wildcard patterns of the chosen filter row.
    std::string CurrentPattern;
    // The folder selected last in the tree: no trailing "/" except the root.
    std::string sCurrentPath;
    // The pane that hosts the folder tree.
    QPointer<QWidget> TreeHost;
    // The folder tree while it shows (mDirTreeview makes it in `TreeHost`).
    QPointer<QTreeView> Tree;
    // The tree was closed: `ShowFolderTree` runs no event loop (again).
    bool TreeClosed = false;
    // Called after `sCurrentPath` changed (the main window's `nPathchange`).
    std::function<void()> PathChanged;
    // Called when the folder selected went from the disk and the tree with
    // it; `sCurrentPath` still names it.
    std::function<void()> FolderGone;
};
