#include "app/AppIcon.h"
#include "app/CommandLine.h"
#include "app/mStartup.h"
#include "platform/Product.h"
#include "platform/Termination.h"

#include <QApplication>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    // --help and --version need no display: answered before Qt starts.
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(UsageText().c_str(), stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::fputs(VersionText().c_str(), stdout);
            return 0;
        }
    }
    // From here a SIGTERM waits for the window, which saves the settings and ends.
    Termination::CatchSignals();
    QApplication app(argc, argv); // takes Qt's own options out of argv
    const StartRequest request = ParseCommandLine(argc - 1, argv + 1);
    if (!request.error.empty())
        std::fprintf(stderr, "%s: %s\n", Product::kCommand, request.error.c_str());
    if (request.kind == StartRequest::Kind::BadOption) {
        std::fputs(UsageText().c_str(), stderr);
        return 2;
    }
    QApplication::setWindowIcon(AppIcon::Icon());
    QGuiApplication::setDesktopFileName(QString::fromLatin1(Product::kCommand));
    mStartup::Main(request);
    return 0;
}
