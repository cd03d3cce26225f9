// Writes the desktop entry: the lines of TEMPLATE, then the MimeType line,
// made from the format table that the filter list reads (app/ImageFormatFilters.h)
// through the MIME database, so that "Open With" offers the program for the
// files it lists and for no other:
//   vantrel-desktop-entry TEMPLATE OUTPUT
// Each extension's types are those the database gives a file of that name.
// Only image types are claimed: an extension that another kind of file shares
// (a camera's ".cap" is also a network capture) does not make the program
// that kind's opener.
#include "app/ImageFormatFilters.h"

#include <QCoreApplication>
#include <QFile>
#include <QMimeDatabase>
#include <QStringList>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: vantrel-desktop-entry TEMPLATE OUTPUT\n");
        return 2;
    }
    QCoreApplication app(argc, argv);
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "vantrel-desktop-entry: cannot read %s\n", argv[1]);
        return 1;
    }
    QByteArray entry = in.readAll();
    if (!entry.endsWith('\n')) entry += '\n';

    const QMimeDatabase mime;
    QStringList types;
    for (std::size_t at = 0; at < AllSupportedPattern.size();) {
        const std::string_view pattern = ImageFormatTable::PatternAt(AllSupportedPattern, at);
        QString name = QStringLiteral("x"); // "*.ext" -> "x.ext"
        for (const char c : pattern.substr(1))
            name += QLatin1Char(c);
        for (const QMimeType& type : mime.mimeTypesForFileName(name))
            if (type.name().startsWith(QStringLiteral("image/")) && !types.contains(type.name()))
                types.append(type.name());
    }
    entry += "MimeType=" + types.join(QLatin1Char(';')).toLatin1() + ";\n";

    QFile out(QString::fromLocal8Bit(argv[2]));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(entry) != entry.size()) {
        std::fprintf(stderr, "vantrel-desktop-entry: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
