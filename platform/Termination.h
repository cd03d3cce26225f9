// Requests to end the program that no one can be asked about: SIGTERM,
// SIGHUP and SIGINT, and the desktop session ending (log-out). Each reaches
// the handler on the user-interface thread, through the event loop.
#pragma once

#include <functional>

namespace Termination {

// Catches the signals from now on, before the application exists: a signal
// that comes early waits for the event loop and the handler instead of
// ending the program on the spot. Needs no Qt; done once.
void CatchSignals();

// Installs the handler (replacing an earlier one; empty: requests are
// dropped). Catches the signals if that is not done yet. Needs a
// QGuiApplication.
void OnTerminate(std::function<void()> handler);

} // namespace Termination
