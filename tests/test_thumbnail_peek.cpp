// A picture before the decode: the peek finds the shared cache's thumbnail of
// a file (made by the program's own maker, or planted by hand as another
// program writes them), fits it to the box, and says whether it stands for
// the decoded picture; it refuses what the icon view refuses (stale keys,
// another file's URI, links, files too large, damaged PNGs), chooses the
// smallest thumbnail that covers the box, and answers through its
// descriptor, the latest question only. Real files, the real helper
// (vantrel-decoder beside the test), a cache in a temporary XDG_CACHE_HOME.
#include "PixelUtil.h"
#include "TempDir.h"
#include "ThumbnailTestUtil.h"
#include "imaging/PictureBox.h"
#include "imaging/ThumbnailMaker.h"
#include "imaging/ThumbnailPeek.h"
#include "imaging/ThumbnailPng.h"

#include <FreeImage.h>
#include <functional>
#include <gtest/gtest.h>
#include <poll.h>
#include <random>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

constexpr int kPhotoWidth = 2400, kPhotoHeight = 1600;
// Long enough for any machine; an answer missing past it is a failure.
constexpr int kAnswerGuardMs = 60000;
constexpr uint32_t kBackground = 0x00123456;

// A photo of `w` x `h`: red across, green down, blue constant, saved as JPEG.
std::string Photo(const fs::path& file, int w = kPhotoWidth, int h = kPhotoHeight) {
    FIBITMAP* b = FreeImage_Allocate(w, h, 24);
    for (int y = 0; y < h; ++y) {
        BYTE* row = FreeImage_GetScanLine(b, h - 1 - y); // FreeImage's rows run bottom-up
        for (int x = 0; x < w; ++x, row += 3) {
            row[FI_RGBA_RED] = BYTE(x * 255 / w);
            row[FI_RGBA_GREEN] = BYTE(y * 255 / h);
            row[FI_RGBA_BLUE] = 0x80;
        }
    }
    EXPECT_TRUE(FreeImage_Save(FIF_JPEG, b, file.c_str(), JPEG_QUALITYSUPERB)) << file;
    FreeImage_Unload(b);
    return file.string();
}

// The keys another program writes: `software` empty leaves the key out, a
// size of 0 leaves out the original's size.
std::vector<ThumbnailPng::Key> Keys(const ThumbnailSource& source, const std::string& software,
                                    int fullWidth = 0, int fullHeight = 0) {
    std::vector<ThumbnailPng::Key> keys{{"Thumb::URI", source.uri},
                                        {"Thumb::MTime", std::to_string(source.mtime)}};
    if (fullWidth > 0) {
        keys.emplace_back("Thumb::Image::Width", std::to_string(fullWidth));
        keys.emplace_back("Thumb::Image::Height", std::to_string(fullHeight));
    }
    if (!software.empty()) keys.emplace_back("Software", software);
    return keys;
}

// A picture of one colour (0xAARRGGBB).
QImage Filled(int w, int h, QRgb colour) {
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

// Writes `bytes` at the name of `source`'s thumbnail at `size`, as another
// program would (its folders made as the cache makes them).
void Plant(const ThumbnailCache& cache, const ThumbnailSource& source, ThumbnailSize size,
           const QByteArray& bytes) {
    const fs::path file = cache.ThumbnailPath(source.uri, size);
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(bytes.constData(), std::streamsize(bytes.size()));
}

void Plant(const ThumbnailCache& cache, const ThumbnailSource& source, ThumbnailSize size,
           const QImage& image, const std::vector<ThumbnailPng::Key>& keys) {
    const QByteArray png = ThumbnailPng::Encode(image, keys, 50);
    ASSERT_FALSE(png.isEmpty());
    Plant(cache, source, size, png);
}

// The answer to `ticket`, once the descriptor says it came; none past the guard.
ThumbnailPeek::Answer Await(ThumbnailPeek& peek, ThumbnailPeek::Ticket ticket) {
    for (;;) {
        pollfd ready{peek.NotifyFd(), POLLIN, 0};
        if (::poll(&ready, 1, kAnswerGuardMs) != 1) {
            ADD_FAILURE() << "no answer to question " << ticket;
            return {};
        }
        for (ThumbnailPeek::Answer& answer : peek.TakeAnswers()) {
            EXPECT_EQ(answer.ticket, ticket) << "an answer to a question given up";
            if (answer.ticket == ticket) return std::move(answer);
        }
    }
}

bool Readable(int fd) {
    pollfd ready{fd, POLLIN, 0};
    return ::poll(&ready, 1, 0) == 1;
}

ThumbnailPeek::Answer PeekAt(ThumbnailPeek& peek, const std::string& path, MFreeImage_2::Box box) {
    return Await(peek, peek.Peek(path, box, kBackground));
}

QSize PictureSize(const ThumbnailPeek::Answer& answer) {
    return answer.picture ? QSize(answer.picture->Width(), answer.picture->Height()) : QSize();
}

uint32_t Centre(const ThumbnailPeek::Answer& answer) {
    const cDIB& d = *answer.picture;
    return Pixel32(d, d.Width() / 2, d.Height() / 2) & 0xFFFFFF;
}

} // namespace

// Ours (made by the maker from this file, at least the box's fit) is the
// picture; another program's is shown the same way but never stands for the
// decode, with the original's size only when it carries one. Each is fitted
// to the box: shrunk to the original's fit, or enlarged to the box when the
// original's size is not known.
TEST(ThumbnailPeek, OursIsThePictureAnotherProgramsIsShownUntilTheDecode) {
    CacheHome home;
    TempDir pictures;
    const std::string file = Photo(pictures.path() / "photo.jpg");
    ThumbnailMaker maker; // the cache of XDG_CACHE_HOME
    ASSERT_EQ(maker.Make(file, ThumbnailSize::XXLarge).outcome, ThumbnailOutcome::Made);
    const ThumbnailSource source = Described(file);
    ThumbnailPeek peek;
    ASSERT_EQ(ThumbnailCache().Root(), home.Root());

    ThumbnailPeek::Answer a = PeekAt(peek, file, {800, 600});
    ASSERT_TRUE(a.found);
    EXPECT_TRUE(a.ours);
    EXPECT_TRUE(a.covers);
    EXPECT_TRUE(a.IsThePicture());
    EXPECT_EQ(a.size, ThumbnailSize::XXLarge);
    EXPECT_EQ(QSize(a.thumbWidth, a.thumbHeight), QSize(1024, 683));
    EXPECT_EQ(QSize(a.fullWidth, a.fullHeight), QSize(kPhotoWidth, kPhotoHeight));
    EXPECT_EQ(PictureSize(a), QSize(800, 533));
    // The photo's own colours at its centre: red and green half way, blue 0x80.
    EXPECT_LE(MaxDifference(Centre(a), 0x7F7F80), 6) << std::hex << Centre(a);

    struct Row {
        const char* what;
        std::string software;
        int fullWidth, fullHeight;
        QSize picture;
        bool covers;
    };
    const Row rows[] = {
        {"another program's, with the original's size",
         "Thumbnailer 3.1",
         kPhotoWidth,
         kPhotoHeight,
         {800, 533},
         true},
        // Of the thumbnail's own shape, 1024 x 683 enlarged past the box.
        {"another program's, without it: fitted to the box",
         "Thumbnailer 3.1",
         0,
         0,
         {800, 534},
         true},
        {"one that names no program", "", kPhotoWidth, kPhotoHeight, {800, 533}, true},
        {"one whose size keys are another shape's: not believed",
         "Thumbnailer 3.1",
         1000,
         1000,
         {800, 534},
         true},
        {"one that only looks like ours", "Vantrel", kPhotoWidth, kPhotoHeight, {800, 533}, true},
    };
    const ThumbnailCache cache;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Plant(cache, source, ThumbnailSize::XXLarge, Filled(1024, 683, qRgb(0x20, 0xA0, 0x40)),
              Keys(source, row.software, row.fullWidth, row.fullHeight));
        a = PeekAt(peek, file, {800, 600});
        ASSERT_TRUE(a.found);
        EXPECT_FALSE(a.ours);
        EXPECT_FALSE(a.IsThePicture());
        EXPECT_EQ(a.covers, row.covers);
        const bool sizeBelieved = row.fullWidth == kPhotoWidth;
        EXPECT_EQ(QSize(a.fullWidth, a.fullHeight),
                  sizeBelieved ? QSize(kPhotoWidth, kPhotoHeight) : QSize(0, 0));
        EXPECT_EQ(PictureSize(a), row.picture);
        EXPECT_LE(MaxDifference(Centre(a), 0x20A040), 2) << std::hex << Centre(a);
    }

    // In a box larger than it: enlarged to the original's fit, or to the
    // box in its own shape, covering neither.
    a = PeekAt(peek, file, {2000, 2000});
    ASSERT_TRUE(a.found);
    EXPECT_FALSE(a.covers);
    EXPECT_EQ(PictureSize(a), QSize(2000, 1333));
    Plant(cache, source, ThumbnailSize::XXLarge, Filled(1024, 683, qRgb(0x20, 0xA0, 0x40)),
          Keys(source, "Thumbnailer 3.1"));
    a = PeekAt(peek, file, {2000, 2000});
    ASSERT_TRUE(a.found);
    EXPECT_FALSE(a.covers);
    EXPECT_EQ(PictureSize(a), QSize(2000, 1334));
    // A box so large that the enlarged picture would pass the limit: none.
    EXPECT_FALSE(PeekAt(peek, file, {60000, 60000}).found);

    // One smaller than its size's side is the whole picture to a
    // thumbnailer: placed as such, never enlarged; transparent parts over
    // the background asked for.
    Plant(cache, source, ThumbnailSize::XXLarge, Filled(300, 200, qRgba(0, 0, 0, 0)),
          Keys(source, "Thumbnailer 3.1"));
    a = PeekAt(peek, file, {800, 600});
    ASSERT_TRUE(a.found);
    EXPECT_FALSE(a.covers);
    EXPECT_EQ(PictureSize(a), QSize(300, 200));
    PictureBox background;
    background.SetBackColor(kBackground);
    ASSERT_TRUE(background.SetSize(1, 1));
    background.Cls();
    EXPECT_EQ(Centre(a), Pixel32(background.Surface(), 0, 0) & 0xFFFFFF);

    // Ours again, for a 0 x 0 box (the whole picture): as stored, and not the picture.
    fs::remove(cache.ThumbnailPath(source.uri, ThumbnailSize::XXLarge));
    ASSERT_EQ(maker.Make(file, ThumbnailSize::XXLarge).outcome, ThumbnailOutcome::Made);
    a = PeekAt(peek, file, {0, 0});
    ASSERT_TRUE(a.found);
    EXPECT_TRUE(a.ours);
    EXPECT_FALSE(a.IsThePicture());
    EXPECT_EQ(PictureSize(a), QSize(1024, 683));
}

// What the icon view refuses is never shown: keys of another version of the
// file or of another file, a link at the name, anything but a regular file,
// a PNG too large on disk or by its header (never decoded), one cut short or
// damaged (no crash), and what is not a PNG. A valid smaller thumbnail is
// then shown in place of a damaged larger one.
TEST(ThumbnailPeek, RefusesWhatIsNotAValidThumbnailOfTheFile) {
    CacheHome home;
    TempDir pictures, elsewhere;
    const std::string file = Photo(pictures.path() / "photo.jpg");
    const std::string other = Photo(pictures.path() / "other.jpg", 300, 200);
    ThumbnailMaker maker;
    ASSERT_EQ(maker.Make(file, ThumbnailSize::XXLarge).outcome, ThumbnailOutcome::Made);
    const ThumbnailCache cache;
    const ThumbnailSource source = Described(file);
    const std::string name = cache.ThumbnailPath(source.uri, ThumbnailSize::XXLarge);
    const std::string ours = TempDir::Read(name);
    ThumbnailPeek::Limits limits;
    limits.maxFileBytes = 4u << 20;
    limits.maxSide = 1100;
    ThumbnailPeek peek(ThumbnailCache(), limits);
    ASSERT_TRUE(PeekAt(peek, file, {800, 600}).IsThePicture());

    // A small valid PNG with `source`'s keys whose header is rewritten to say
    // `w` x `h` (its CRC made right), its pixels left as they are.
    const auto forged = [&](uint32_t w, uint32_t h) {
        QByteArray png = ThumbnailPng::Encode(Filled(16, 16, qRgb(1, 2, 3)),
                                              Keys(source, "Thumbnailer 3.1"), 50);
        constexpr int kIhdrType = 12, kIhdrData = 16, kIhdrCrc = 29, kTypeAndData = 17;
        for (int i = 0; i < 4; ++i) {
            png[kIhdrData + i] = char(w >> (24 - 8 * i));
            png[kIhdrData + 4 + i] = char(h >> (24 - 8 * i));
        }
        const uint32_t crc =
            FreeImage_ZLibCRC32(0, reinterpret_cast<BYTE*>(png.data() + kIhdrType), kTypeAndData);
        for (int i = 0; i < 4; ++i)
            png[kIhdrCrc + i] = char(crc >> (24 - 8 * i));
        return png;
    };
    // Pixels nothing compresses, so that the file is larger than the limit.
    QImage noise(1024, 1024, QImage::Format_ARGB32);
    std::mt19937 random(29);
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x)
            noise.setPixel(x, y, uint32_t(random()));
    ThumbnailSource stale = source, elsewhereSource = Described(other), wrongSize = source;
    stale.mtime -= 10;
    wrongSize.size += 1;
    const QImage green = Filled(1024, 683, qRgb(0x20, 0xA0, 0x40));

    struct Row {
        const char* what;
        std::function<void()> plant;
    };
    const std::vector<Row> rows = {
        {"stale: the file changed since",
         [&] {
             Plant(cache, source, ThumbnailSize::XXLarge, green, Keys(stale, "Vantrel 1.0.0"));
         }},
        {"another file's URI",
         [&] {
             std::vector<ThumbnailPng::Key> keys = Keys(source, "Thumbnailer 3.1");
             keys[0].second = elsewhereSource.uri;
             Plant(cache, source, ThumbnailSize::XXLarge, green, keys);
         }},
        {"no MTime",
         [&] {
             std::vector<ThumbnailPng::Key> keys = Keys(source, "Thumbnailer 3.1");
             keys.erase(keys.begin() + 1);
             Plant(cache, source, ThumbnailSize::XXLarge, green, keys);
         }},
        {"a Size key not the file's",
         [&] {
             std::vector<ThumbnailPng::Key> keys = Keys(source, "Thumbnailer 3.1");
             keys.emplace_back("Thumb::Size", std::to_string(wrongSize.size));
             Plant(cache, source, ThumbnailSize::XXLarge, green, keys);
         }},
        {"a link to a valid thumbnail elsewhere",
         [&] {
             const ThumbnailCache another(elsewhere.str());
             fs::remove(name);
             const std::string target =
                 another.Store(source, ThumbnailSize::XXLarge, green, kPhotoWidth, kPhotoHeight);
             ASSERT_TRUE(another.Find(source, ThumbnailSize::XXLarge));
             fs::create_symlink(target, name);
         }},
        {"a FIFO", [&] { ASSERT_EQ(::mkfifo(name.c_str(), 0600), 0); }},
        {"a folder", [&] { fs::create_directory(name); }},
        {"larger on disk than the limit",
         [&] {
             Plant(cache, source, ThumbnailSize::XXLarge, noise, Keys(source, "Vantrel 1.0.0"));
         }},
        {"larger than the limit by its header",
         [&] { Plant(cache, source, ThumbnailSize::XXLarge, forged(1101, 16)); }},
        {"huge by its header",
         [&] { Plant(cache, source, ThumbnailSize::XXLarge, forged(1u << 30, 1u << 30)); }},
        {"cut short in its pixels",
         [&] {
             const QByteArray whole = QByteArray::fromStdString(ours);
             Plant(cache, source, ThumbnailSize::XXLarge, whole.left(whole.size() / 2));
         }},
        {"pixels damaged",
         [&] {
             QByteArray bytes = QByteArray::fromStdString(ours);
             for (qsizetype i = bytes.size() / 2; i < bytes.size() / 2 + 64; ++i)
                 bytes[i] = char(~bytes[i]);
             Plant(cache, source, ThumbnailSize::XXLarge, bytes);
         }},
        {"not a PNG",
         [&] {
             Plant(cache, source, ThumbnailSize::XXLarge,
                   QByteArray::fromStdString(TempDir::Read(file)));
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::error_code error;
        fs::remove(name, error);
        row.plant();
        ThumbnailPeek::Answer a = PeekAt(peek, file, {800, 600});
        EXPECT_FALSE(a.found);
        EXPECT_FALSE(a.picture);
        EXPECT_FALSE(a.IsThePicture());
        // A valid large thumbnail is shown in its place, fitted to the box.
        ASSERT_EQ(maker.Make(file, ThumbnailSize::Large).outcome, ThumbnailOutcome::Made);
        a = PeekAt(peek, file, {800, 600});
        EXPECT_TRUE(a.found);
        EXPECT_EQ(a.size, ThumbnailSize::Large);
        EXPECT_FALSE(a.covers);
        EXPECT_EQ(PictureSize(a), QSize(800, 533));
        fs::remove(cache.ThumbnailPath(source.uri, ThumbnailSize::Large));
    }
}

// The smallest of large, x-large and xx-large that covers the box's fit is
// shown; none covering, the largest there is, enlarged. Portrait and
// landscape boxes, ours all.
TEST(ThumbnailPeek, ChoosesTheSmallestThatCoversTheBox) {
    CacheHome home;
    TempDir pictures;
    const std::string file = Photo(pictures.path() / "photo.jpg");
    ThumbnailMaker maker;
    for (const ThumbnailSize size :
         {ThumbnailSize::Large, ThumbnailSize::XLarge, ThumbnailSize::XXLarge})
        ASSERT_EQ(maker.Make(file, size).outcome, ThumbnailOutcome::Made);
    ThumbnailPeek peek;

    struct Row {
        MFreeImage_2::Box box;
        ThumbnailSize size;
        bool covers;
        QSize picture;
    };
    const Row rows[] = {
        {{200, 150}, ThumbnailSize::Large, true, {200, 133}},
        {{256, 256}, ThumbnailSize::Large, true, {256, 171}},
        {{257, 600}, ThumbnailSize::XLarge, true, {257, 171}},
        {{400, 300}, ThumbnailSize::XLarge, true, {400, 267}},
        {{300, 200}, ThumbnailSize::XLarge, true, {300, 200}}, // 256 x 171 is one short
        {{800, 600}, ThumbnailSize::XXLarge, true, {800, 533}},
        {{1024, 1024}, ThumbnailSize::XXLarge, true, {1024, 683}},
        {{2000, 1500}, ThumbnailSize::XXLarge, false, {2000, 1333}},
        {{0, 0}, ThumbnailSize::XXLarge, false, {1024, 683}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.box.width << " x " << row.box.height);
        const ThumbnailPeek::Answer a = PeekAt(peek, file, row.box);
        ASSERT_TRUE(a.found);
        EXPECT_EQ(a.size, row.size);
        EXPECT_EQ(a.covers, row.covers);
        EXPECT_EQ(a.IsThePicture(), row.covers);
        EXPECT_EQ(PictureSize(a), row.picture);
    }

    // Without the xx-large one an 800 x 600 box gets the x-large, enlarged.
    const ThumbnailCache cache;
    fs::remove(cache.ThumbnailPath(Described(file).uri, ThumbnailSize::XXLarge));
    const ThumbnailPeek::Answer a = PeekAt(peek, file, {800, 600});
    ASSERT_TRUE(a.found);
    EXPECT_EQ(a.size, ThumbnailSize::XLarge);
    EXPECT_FALSE(a.covers);
    EXPECT_EQ(PictureSize(a), QSize(800, 533));
}

// Answers come through the descriptor: readable once an answer waits, not
// after it is taken. Only the question asked last is answered: one given up
// by a newer question or by Cancel never is. A file with no thumbnail, or
// no file, is answered "none".
TEST(ThumbnailPeek, AnswersTheLatestQuestionThroughItsDescriptor) {
    CacheHome home;
    TempDir pictures;
    const std::string file = Photo(pictures.path() / "photo.jpg");
    const std::string bare = Photo(pictures.path() / "bare.jpg", 300, 200);
    ThumbnailMaker maker;
    ASSERT_EQ(maker.Make(file, ThumbnailSize::XXLarge).outcome, ThumbnailOutcome::Made);
    ThumbnailPeek peek;
    ASSERT_GE(peek.NotifyFd(), 0);
    EXPECT_FALSE(Readable(peek.NotifyFd()));
    EXPECT_TRUE(peek.Idle());

    const ThumbnailPeek::Ticket first = peek.Peek(file, {800, 600}, kBackground);
    ThumbnailPeek::Answer a = Await(peek, first);
    EXPECT_TRUE(a.IsThePicture());
    EXPECT_FALSE(Readable(peek.NotifyFd()));
    EXPECT_TRUE(peek.TakeAnswers().empty());
    EXPECT_TRUE(peek.Idle());

    // Many questions in a row, as a held key asks them: the last one answered.
    ThumbnailPeek::Ticket last = 0;
    for (int i = 0; i < 50; ++i)
        last = peek.Peek(i % 2 ? bare : file, {800 - i, 600}, kBackground);
    a = Await(peek, last); // fails on an answer to any other
    EXPECT_FALSE(a.found); // `bare`, of no thumbnail
    EXPECT_TRUE(peek.Idle());

    // Given up before its answer is taken: none comes.
    const ThumbnailPeek::Ticket dropped = peek.Peek(file, {800, 600}, kBackground);
    peek.Cancel(dropped);
    last = peek.Peek(file, {400, 300}, kBackground);
    a = Await(peek, last);
    EXPECT_EQ(PictureSize(a), QSize(400, 267));
    a = Await(peek, peek.Peek(file, {400, 300}, kBackground));
    peek.Cancel(a.ticket); // already taken: nothing to give up
    EXPECT_TRUE(peek.Idle());

    // An answer that came but was not taken when a new question comes, or
    // when its question is given up, is dropped, and the descriptor read.
    for (const bool byCancel : {false, true}) {
        const ThumbnailPeek::Ticket waiting = peek.Peek(file, {800, 600}, kBackground);
        pollfd ready{peek.NotifyFd(), POLLIN, 0};
        ASSERT_EQ(::poll(&ready, 1, kAnswerGuardMs), 1);
        if (byCancel) {
            peek.Cancel(waiting);
            EXPECT_FALSE(Readable(peek.NotifyFd()));
            EXPECT_TRUE(peek.TakeAnswers().empty());
            EXPECT_TRUE(peek.Idle());
        } else {
            a = Await(peek, peek.Peek(file, {400, 300}, kBackground)); // fails on `waiting`'s
            EXPECT_EQ(PictureSize(a), QSize(400, 267));
        }
    }

    a = PeekAt(peek, (pictures.path() / "missing.jpg").string(), {800, 600});
    EXPECT_FALSE(a.found);
    EXPECT_FALSE(Readable(peek.NotifyFd()));
}

// Another program's thumbnail of a kind the thumbnails' reader leaves is
// read by FreeImage: shown all the same, its pixels FreeImage's.
TEST(ThumbnailPeek, ShowsEveryKindOfPng) {
    CacheHome home;
    TempDir pictures;
    const std::string file = Photo(pictures.path() / "photo.jpg", 300, 200);
    const ThumbnailSource source = Described(file);
    const ThumbnailCache cache;
    ThumbnailPeek peek;
    QImage argb(256, 171, QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x)
            argb.setPixel(x, y, qRgba(x, y, (x * y) & 0xFF, (x + y) & 0xFF));
    for (const QImage::Format format :
         {QImage::Format_ARGB32, QImage::Format_RGB32, QImage::Format_Grayscale8,
          QImage::Format_Indexed8, QImage::Format_RGBA64}) {
        SCOPED_TRACE(int(format));
        const QByteArray png = ThumbnailPng::Encode(argb.convertToFormat(format),
                                                    Keys(source, "Thumbnailer 3.1", 300, 200), 50);
        Plant(cache, source, ThumbnailSize::Large, png);
        const ThumbnailPeek::Answer a = PeekAt(peek, file, {0, 0});
        ASSERT_TRUE(a.found);
        EXPECT_EQ(FirstDifference(*a.picture, ReadByFreeImage(png, kBackground).Surface()), "");
    }
}
