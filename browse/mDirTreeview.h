// The folder tree of the main window: a lazily loaded tree of the file system
// rooted at "/", placed in the browsing state's `TreeHost` pane and following
// its size; the state holds it (`Tree`) while it shows. Every selection change
// stores the folder's path in the state's `sCurrentPath` and then calls its
// `PathChanged` (the main window's `nPathchange`). `ShowFolderTree` runs the
// program's event loop until `CloseFolderTree`.
#pragma once

#include "browse/BrowsingState.h"

#include <string>

namespace mDirTreeview {

// Shows the tree in `state.TreeHost`, selects `initialPath` when it is an
// existing folder (nothing happens for one that is not), and runs the event
// loop until `CloseFolderTree`.
void ShowFolderTree(BrowsingState& state, const std::string& initialPath);
// Builds the tree without running the event loop (tests, and the above).
void AdoptTree(BrowsingState& state, const std::string& initialPath);
void MoveTree(BrowsingState& state, int x, int y, int width, int height);
void CloseFolderTree(BrowsingState& state);
// Reads the tree's branch down to `path` again (Refresh): new folders show,
// removed ones go. No folder change is reported; when the selected folder
// itself went, the tree selects nothing.
void RefreshBranch(BrowsingState& state, const std::string& path);

} // namespace mDirTreeview
