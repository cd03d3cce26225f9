#include "app/ImageFormatFilters.h"
#include "browse/FileTexts.h"
#include "browse/FolderScan.h"
#include "browse/PathMatchSpec.h"
#include "tests/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>

namespace {

TEST(PathMatch, TheMatcherRules) {
    struct Row {
        const char* path;
        const char* pattern;
        bool match;
    } rows[] = {
        {"/pics/PHOTO.GIF", "*.bmp;*.gif", true},
        {"/pics/photo.gifx", "*.bmp;*.gif", false},
        {"/pics/a.bmp", "  *.bmp", true},  // leading blanks skipped
        {"/pics/a.bmp", "*.bmp  ", false}, // trailing blanks are part of the pattern
        {"/pics/a.bmp", "*.gif; *.bmp", true},
        {"/pics/README", "*.*", true}, // "*.*" matches everything
        {"/pics/README", "*.", false},
        {"/a/b/c.png", "/a*c.png", true}, // "*" crosses folder separators
        {"/pics/x1.png", "/pics/x?.png", true},
        {"/pics/x12.png", "/pics/x?.png", false},
        {"/pics/\xc3\xa9.png", "/pics/?.png", true}, // one UTF-8 character is one "?"
        {"/pics/\xff.png", "/pics/?.png", true},     // so is a byte that is not UTF-8
        {"/pics/a.jpeg", "*.jpg", false},
        {"/pics/a.JpG", "*.jpg", true},
        {"/pics/a.bmp", "", false},
        {"/pics/a.bmp", ";;", false},
        {"/pics/aaaaaaaaaaaaaaaaaaaaaaaaaaaaab", "*a*a*a*a*a*a*a*c", false},
    };
    for (const Row& r : rows)
        EXPECT_EQ(PathMatchSpec(r.path, r.pattern), r.match) << r.path << " ~ " << r.pattern;
}

TEST(PathMatch, TheFilterRows) {
    // The rows a user knows keep their places and patterns; "All Files" stays last.
    const struct {
        std::size_t row;
        std::string_view pattern;
    } kept[] = {{1, "*.bmp"},         {6, "*.gif"},  {9, "*.jpg;*.jpeg;*.jif;*.jfif"},
                {10, "*.koala;*.gg"}, {17, "*.png"}, {23, "*.tif;*.tiff"},
                {27, "*.xpm"}};
    for (const auto& k : kept)
        EXPECT_EQ(ImageFormatFilters[k.row].pattern, k.pattern) << k.row;
    EXPECT_EQ(ImageFormatFilters[0].description, "All Supported Formats");
    EXPECT_EQ(ImageFormatFilters[kAllFilesRow].description, "All Files(*.*)");
    EXPECT_EQ(ImageFormatFilters[kAllFilesRow].pattern, "*.*");
    EXPECT_EQ(kAllFilesRow + 1, ImageFormatFilters.size());
    EXPECT_GT(kAllFilesRow, 28u);

    // "All Supported Formats" lists what every other row lists, and more.
    const PathMatcher all(AllSupportedPattern);
    for (std::size_t r = 1; r < kAllFilesRow; ++r) {
        const std::string_view row = ImageFormatFilters[r].pattern;
        EXPECT_FALSE(row.empty());
        for (std::size_t at = 0; at < row.size();) {
            const std::string_view one = ImageFormatTable::PatternAt(row, at);
            EXPECT_TRUE(all.Matches("/p/photo" + std::string(one.substr(1)))) << one;
        }
    }
    for (const char* name : {"/p/photo.tif", "/p/photo.JPEG", "/p/photo.jfif", "/p/photo.gg",
                             "/p/picture.iff", "/p/photo.webp", "/p/icon.icns", "/p/raw.dng"})
        EXPECT_TRUE(all.Matches(name)) << name;
    for (const char* name : {"/p/notes.txt", "/p/photo.jpg.part", "/p/tif", "/p/photo.gifx"})
        EXPECT_FALSE(all.Matches(name)) << name;
}

TEST(FileTexts, SizesTimesAndNulls) {
    struct Row {
        uint64_t bytes;
        const char* text;
    } rows[] = {{0, "0 KB"},
                {1, "1 KB"},
                {1024, "1 KB"},
                {1025, "1 KB"},
                {1536, "2 KB"},
                {1048576, "1,024 KB"},
                {10000000, "9,766 KB"},
                {5368709120ull, "5,242,880 KB"},
                {UINT64_MAX, "18,014,398,509,481,984 KB"}};
    for (const Row& r : rows)
        EXPECT_EQ(SizeText(r.bytes, ","), r.text) << r.bytes;
    EXPECT_EQ(SizeText(1048576, "\xc2\xa0"), "1\xc2\xa0"
                                             "024 KB");

    EXPECT_EQ(TimeText(15, 7, "AM", "PM"), "3:07 PM");
    EXPECT_EQ(TimeText(0, 0, "AM", "PM"), "12:00 AM");
    EXPECT_EQ(TimeText(12, 59, "AM", "PM"), "12:59 PM");
    EXPECT_EQ(TimeText(11, 5, "a.m.", "p.m."), "11:05 a.m.");

    std::string s("abc\0def", 7);
    EXPECT_EQ(StripNulls(s), "abc");
    EXPECT_EQ(s, "abc");
    std::string plain = "plain";
    EXPECT_EQ(StripNulls(plain), "plain");
}

std::vector<std::string> Names(const std::vector<FileRow>& rows) {
    std::vector<std::string> names;
    for (const auto& r : rows)
        names.push_back(r.name);
    return names;
}

TEST(FolderScan, ListsFilesAsTheyReallyAre) {
    TempDir dir;
    const std::string d = dir.str();
    for (const char* name : {"b.BMP", "A.bmp", "a.bmp", ".hidden.bmp", "-dash.bmp", "sp ace.bmp",
                             "quo\"te.bmp", "new\nline.bmp", "bad\xff.bmp", "photo.gifx"})
        dir.Write(name, "x");
    std::filesystem::create_directory(dir.path() / "folder.bmp");
    std::filesystem::create_symlink("A.bmp", dir.path() / "link.bmp");
    std::filesystem::create_symlink("missing", dir.path() / "broken.bmp");
    std::filesystem::create_symlink("loop.bmp", dir.path() / "loop.bmp");
    ASSERT_EQ(::mkfifo((d + "/fifo.bmp").c_str(), 0600), 0);
    int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string sockPath = d + "/sock.bmp";
    if (sockPath.size() < sizeof addr.sun_path) {
        std::memcpy(addr.sun_path, sockPath.c_str(), sockPath.size() + 1);
        ::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    }

    std::vector<FileRow> rows;
    ASSERT_TRUE(ScanFolder(d + "/", PathMatcher("*.bmp"), rows));
    ::close(sock);
    // Name order regardless of case, then by bytes; only files and links to files.
    EXPECT_EQ(Names(rows), (std::vector<std::string>{
                               "-dash.bmp", ".hidden.bmp", "A.bmp", "a.bmp", "b.BMP", "bad\xff.bmp",
                               "link.bmp", "new\nline.bmp", "quo\"te.bmp", "sp ace.bmp"}));
    // The path a row gives back opens the file.
    for (const auto& r : rows)
        EXPECT_TRUE(std::filesystem::is_regular_file(d + "/" + r.name)) << r.name;

    std::vector<FileRow> again;
    ASSERT_TRUE(ScanFolder(d + "//", PathMatcher("*.*"), again));
    EXPECT_EQ(again.size(), rows.size() + 1) << "photo.gifx joins under *.*";
}

TEST(FolderScan, EmptyMissingAndHugeFiles) {
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "only-folders");
    std::filesystem::create_directory(dir.path() / "only-folders" / "sub");
    std::vector<FileRow> rows;
    EXPECT_TRUE(ScanFolder(dir.str() + "/only-folders/", PathMatcher("*.*"), rows));
    EXPECT_TRUE(rows.empty());
    EXPECT_FALSE(ScanFolder(dir.str() + "/missing/", PathMatcher("*.*"), rows));
    EXPECT_FALSE(ScanFolder(dir.str() + "/only-folders/sub/../../x/", PathMatcher("*.*"), rows));

    // A sparse 5 GiB file: its size comes from the folder entry, nothing is read.
    const auto big = dir.path() / "big.tif";
    { std::ofstream(big).put('x'); }
    std::filesystem::resize_file(big, 5368709120ull);
    rows.clear();
    ASSERT_TRUE(ScanFolder(dir.str() + "/", PathMatcher("*.tif"), rows));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].size, 5368709120ull);
    EXPECT_EQ(SizeText(rows[0].size, ","), "5,242,880 KB");
}

} // namespace
