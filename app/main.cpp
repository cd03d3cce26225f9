#include "app/AppIcon.h"
#include "app/CommandLine.h"
#include "app/mSetup.h"
#include "app/mStartup.h"
#include "platform/Product.h"
#include "platform/Termination.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char** argv) {
    // The line is read before Qt starts: --help, --version and a bad option
    // are answered without a display.
    const StartRequest request = ParseCommandLine(argc - 1, argv + 1);
    if (request.kind == StartRequest::Kind::Help || request.kind == StartRequest::Kind::Version) {
        std::fputs((request.kind == StartRequest::Kind::Help ? UsageText() : VersionText()).c_str(),
                   stdout);
        return 0;
    }
    if (!request.error.empty())
        std::fprintf(stderr, "%s: %s\n", Product::kCommand, request.error.c_str());
    if (request.kind == StartRequest::Kind::BadOption) {
        std::fputs(UsageText().c_str(), stderr);
        return 2;
    }
    // From here a SIGTERM waits for the window, which saves the settings and ends.
    Termination::CatchSignals();
    QApplication app(argc, argv); // takes Qt's own options out of argv
    QApplication::setWindowIcon(AppIcon::Icon());
    QGuiApplication::setDesktopFileName(QString::fromLatin1(Product::kCommand));
    SetupRecord setup; // the settings, loaded by the start-up and saved at the end
    mStartup::Main(setup, request);
    return 0;
}
