#include "platform/Termination.h"

#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace Termination {

namespace {

// The signal handler only writes a byte; the event loop reads it.
int wakePair[2] = {-1, -1};
std::function<void()> onTerminate;

void SignalHandler(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakePair[0], &byte, 1);
}

void Run() {
    if (onTerminate) onTerminate();
}

} // namespace

void OnTerminate(std::function<void()> handler) {
    onTerminate = std::move(handler);
    if (wakePair[0] >= 0) return; // installed once; the handler above is used from now on
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, wakePair) != 0) return;
    auto* notifier = new QSocketNotifier(wakePair[1], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
        char buffer[16];
        [[maybe_unused]] const ssize_t n = ::read(wakePair[1], buffer, sizeof buffer);
        Run();
    });
    struct sigaction action {};
    action.sa_handler = SignalHandler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int sig : {SIGTERM, SIGHUP, SIGINT})
        ::sigaction(sig, &action, nullptr);
    // The session ends: its manager cannot wait for an answer either.
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, qApp,
                     [](QSessionManager&) { Run(); });
}

} // namespace Termination
