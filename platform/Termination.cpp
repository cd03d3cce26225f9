#include "platform/Termination.h"

#include <QGuiApplication>
#include <QPointer>
#include <QSessionManager>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace Termination {

namespace {

// The signal handler only writes a byte; the event loop reads it. Both ends
// are non-blocking: when a flood of signals fills the socket, the bytes
// already there wake the loop just as well, so a failed write loses nothing.
int wakePair[2] = {-1, -1};
std::function<void()> onTerminate;
QPointer<QSocketNotifier> notifier; // on the application, which owns it

void SignalHandler(int) {
    const int savedErrno = errno; // the interrupted code may be about to read it
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakePair[0], &byte, 1);
    errno = savedErrno;
}

void Run() {
    if (onTerminate) onTerminate();
}

// Reads every byte waiting, so that many signals end in one call of the handler.
void Drain() {
    char buffer[64];
    while (true) {
        const ssize_t n = ::read(wakePair[1], buffer, sizeof buffer);
        if (n > 0) continue;
        if (n < 0 && errno == EINTR) continue;
        break;
    }
}

} // namespace

void CatchSignals() {
    if (wakePair[0] >= 0) return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, wakePair) != 0)
        return; // the signals keep ending the program at once
    struct sigaction action {};
    action.sa_handler = SignalHandler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int sig : {SIGTERM, SIGHUP, SIGINT})
        ::sigaction(sig, &action, nullptr);
}

void OnTerminate(std::function<void()> handler) {
    onTerminate = std::move(handler);
    CatchSignals();
    if (notifier || wakePair[1] < 0) return; // the application listens already
    notifier = new QSocketNotifier(wakePair[1], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
        Drain();
        Run();
    });
    // The session ends: its manager cannot wait for an answer either.
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, qApp,
                     [](QSessionManager&) { Run(); });
}

} // namespace Termination
