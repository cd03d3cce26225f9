// The desktop entry as the desktop reads it: "Open With" offers the program
// for every file the filter list shows, by the type the MIME database gives
// that file's name, and claims no type that is not a picture (a folder type
// would make the program the desktop's folder opener).
#include "app/ImageFormatFilters.h"

#include <QFile>
#include <QMimeDatabase>
#include <QStringList>
#include <gtest/gtest.h>

namespace {

QStringList EntryTypes() {
    QFile file(QStringLiteral(VANTREL_DESKTOP_ENTRY));
    if (!file.open(QIODevice::ReadOnly)) return {};
    QStringList types;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (line.startsWith("MimeType="))
            types += QString::fromLatin1(line.mid(9)).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    return types;
}

} // namespace

TEST(DesktopEntry, ClaimsEveryListedPictureTypeAndNothingElse) {
    const QStringList types = EntryTypes();
    ASSERT_FALSE(types.isEmpty()) << "no MimeType in " VANTREL_DESKTOP_ENTRY;
    const QMimeDatabase mime;
    for (const QString& type : types) {
        EXPECT_TRUE(type.startsWith(QStringLiteral("image/"))) << type.toStdString();
        EXPECT_TRUE(mime.mimeTypeForName(type).isValid())
            << type.toStdString() << " is unknown to the MIME database";
        EXPECT_EQ(types.count(type), 1) << type.toStdString();
    }
    // Each extension of the table: the one type a file manager gives such a
    // file, when it is a picture type, is claimed (itself or by another name).
    int pictures = 0;
    for (std::size_t at = 0; at < AllSupportedPattern.size();) {
        const std::string_view pattern = ImageFormatTable::PatternAt(AllSupportedPattern, at);
        const QString name =
            QStringLiteral("a") + QString::fromStdString(std::string(pattern.substr(1)));
        const QMimeType type = mime.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
        if (type.isDefault() || !type.name().startsWith(QStringLiteral("image/"))) continue;
        ++pictures;
        bool claimed = types.contains(type.name());
        for (const QString& alias : type.aliases())
            claimed = claimed || types.contains(alias);
        EXPECT_TRUE(claimed) << name.toStdString() << " is " << type.name().toStdString()
                             << ", not in the entry's MimeType";
    }
    EXPECT_GT(pictures, 40); // the database knows most of the table
}
