// "All Supported Formats" against the decoders themselves: every extension
// FreeImage or a Qt image reader takes a file by is listed, and every listed
// extension is one of theirs or a file the decoders know by its content.
#include "app/ImageFormatFilters.h"
#include "browse/PathMatchSpec.h"
#include "imaging/ModernReaders.h"

#include <FreeImage.h>
#include <QCoreApplication>
#include <QImageReader>
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

namespace {

std::set<std::string> FreeImageExtensions() {
    std::set<std::string> out;
    for (int i = 0; i < FreeImage_GetFIFCount(); ++i) {
        const auto format = FREE_IMAGE_FORMAT(i);
        if (!FreeImage_FIFSupportsReading(format)) continue;
        const std::string list = FreeImage_GetFIFExtensionList(format);
        for (std::size_t at = 0; at <= list.size();) {
            const std::size_t end = std::min(list.find(',', at), list.size());
            if (end > at) out.insert(list.substr(at, end - at));
            at = end + 1;
        }
    }
    return out;
}

std::set<std::string> QtReaderExtensions() {
    // The image format plugins are found through the application object.
    int argc = 1;
    char name[] = "test_browse_formats";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    std::set<std::string> out;
    for (const QByteArray& format : QImageReader::supportedImageFormats())
        out.insert(format.toLower().toStdString());
    return out;
}

TEST(AllSupportedFormats, EveryExtensionTheDecodersTake) {
    const std::set<std::string> freeImage = FreeImageExtensions();
    const std::set<std::string> qt = QtReaderExtensions();
    ASSERT_TRUE(freeImage.count("jpg") && freeImage.count("png")) << "FreeImage has no formats";
    ASSERT_TRUE(qt.count("png")) << "no Qt image reader found";
    // The readers of today's phone and camera formats, which know their files by their bytes.
    std::set<std::string> modern;
    for (const std::string_view ext : ModernReaders::kExtensions)
        modern.insert(std::string(ext));
    const PathMatcher all(AllSupportedPattern);
    for (const std::set<std::string>* decoder : {&freeImage, &qt, &std::as_const(modern)})
        for (const std::string& ext : *decoder) {
            EXPECT_TRUE(all.Matches("/p/photo." + ext)) << ext;
            EXPECT_TRUE(all.Matches("/p/PHOTO." + ext)) << ext;
        }

    // Listed but taken by content, not by name: bitmaps (dib, rle), JPEG
    // (jfif) and KOALA (koala, gg) files, whose signatures FreeImage knows.
    // Windows metafiles (emf, wmf) have kept their rows, though nothing here
    // decodes them: such a file shows as one that cannot be read.
    const std::set<std::string> byContent = {"dib", "rle", "jfif", "koala", "gg"};
    const std::set<std::string> keptRows = {"emf", "wmf"};
    for (std::size_t at = 0; at < AllSupportedPattern.size();) {
        const std::string ext(ImageFormatTable::PatternAt(AllSupportedPattern, at).substr(2));
        EXPECT_TRUE(freeImage.count(ext) || qt.count(ext) || modern.count(ext) ||
                    byContent.count(ext) || keptRows.count(ext))
            << ext << " is listed but no decoder takes it";
    }
}

} // namespace
