// The folder tree of the main window: a lazily loaded tree of the file system
// rooted at "/", placed in the host pane `TreeHost` and following its size.
// Every selection change stores the folder's path in `sCurrentPath` and then
// calls the path-change handler (the main window's `nPathchange`).
// `ShowFolderTree` runs the program's event loop until `CloseFolderTree`.
#pragma once

#include <QPointer>
#include <QTreeView>
#include <functional>
#include <string>

namespace mDirTreeview {

// The folder selected last: no trailing "/" except the root itself.
extern std::string sCurrentPath;
extern QPointer<QWidget> TreeHost;

// Called after `sCurrentPath` changed; set by the main window.
void SetPathChangeHandler(std::function<void()> nPathchange);

// Shows the tree in `TreeHost`, selects `initialPath` when it is an existing
// folder (nothing happens for one that is not), and runs the event loop until
// `CloseFolderTree`.
void ShowFolderTree(const std::string& initialPath);
void MoveTree(int x, int y, int width, int height);
void CloseFolderTree();

// The tree widget while it exists, for the main window and tests.
QTreeView* Tree();

} // namespace mDirTreeview
