// Start-up of the program: settings, the hidden main window, the splash while
// it is prepared, then the folder tree, whose event loop runs until exit.
#pragma once

#include "app/CommandLine.h"
#include "app/mSetup.h"
#include "browse/PathText.h"

#include <string>

namespace mStartup {

// Runs the whole program; returns when the main window has been closed.
// Needs a QApplication to exist. A folder or file asked for on the command
// line takes the place of the folder browsed last. `setup` is the program's
// settings record: loaded here, handed to the windows, saved by the main
// window's end.
void Main(SetupRecord& setup, const StartRequest& request = {});

} // namespace mStartup

// Leading and trailing spaces removed.
std::string TrimSpaces(const std::string& text);
