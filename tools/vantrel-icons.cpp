// Writes the program's icon as the PNG sizes the desktop installs:
//   vantrel-icons DIR   ->   DIR/hicolor/NxN/apps/vantrel.png
#include "app/AppIcon.h"

#include <QDir>
#include <QGuiApplication>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: vantrel-icons DIR\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    for (int size : AppIcon::kSizes) {
        const QString dir =
            QStringLiteral("%1/hicolor/%2x%2/apps").arg(QString::fromLocal8Bit(argv[1])).arg(size);
        if (!QDir().mkpath(dir) ||
            !AppIcon::Draw(size).save(dir + QStringLiteral("/vantrel.png"))) {
            std::fprintf(stderr, "vantrel-icons: cannot write %s\n", qPrintable(dir));
            return 1;
        }
    }
    return 0;
}
