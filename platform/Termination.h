// Requests to end the program that no one can be asked about: SIGTERM,
// SIGHUP and SIGINT, and the desktop session ending (log-out). Each reaches
// the handler on the user-interface thread, through the event loop.
#pragma once

#include <functional>

namespace Termination {

// Installs the handler (replacing an earlier one). Needs a QGuiApplication.
void OnTerminate(std::function<void()> handler);

} // namespace Termination
