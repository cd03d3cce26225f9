#include "app/ImageFormatFilters.h"
#include "browse/FileTexts.h"
#include "browse/FolderChanges.h"
#include "browse/FolderScan.h"
#include "browse/PathMatchSpec.h"
#include "tests/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <sys/inotify.h>
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

TEST(FolderScan, APartAtATimeIsTheWholeListing) {
    TempDir dir;
    constexpr int kFiles = 300;
    for (int i = 0; i < kFiles; ++i)
        dir.Write(std::to_string(i) + (i % 3 ? ".png" : ".txt"), std::string(i, 'x'));
    std::filesystem::create_directory(dir.path() / "sub.png");
    const PathMatcher png("*.png");
    std::vector<FileRow> whole;
    ASSERT_TRUE(ScanFolder(dir.str() + "/", png, whole));
    for (const std::size_t step : {std::size_t(1), std::size_t(7), std::size_t(1000)}) {
        FolderReader reader;
        ASSERT_TRUE(reader.Open(dir.str() + "/"));
        std::vector<FileRow> parts;
        int reads = 0;
        while (reader.Read(png, parts, step))
            ++reads;
        EXPECT_FALSE(reader.Read(png, parts, step)) << "stays at the end";
        EXPECT_GE(reads, kFiles / int(step)) << step;
        std::sort(parts.begin(), parts.end(),
                  [](const FileRow& a, const FileRow& b) { return NameLess(a.name, b.name); });
        ASSERT_EQ(Names(parts), Names(whole)) << step;
        for (std::size_t i = 0; i < parts.size(); ++i)
            EXPECT_EQ(parts[i].size, whole[i].size);
    }
    FolderReader missing;
    errno = 0;
    EXPECT_FALSE(missing.Open(dir.str() + "/missing/"));
    EXPECT_EQ(errno, ENOENT);
    std::vector<FileRow> none;
    EXPECT_FALSE(missing.Read(png, none, 10));
}

TEST(FolderScan, NamesLookedAtAgain) {
    TempDir dir;
    dir.Write("a.png", "12345");
    dir.Write("b.txt", "x");
    std::filesystem::create_directory(dir.path() / "c.png");
    std::filesystem::create_symlink("a.png", dir.path() / "d.png");
    std::filesystem::create_symlink("gone", dir.path() / "e.png");
    ASSERT_EQ(::mkfifo((dir.str() + "/f.png").c_str(), 0600), 0);
    const std::vector<std::string> names = {"a.png",
                                            "b.txt",
                                            "c.png",
                                            "d.png",
                                            "e.png",
                                            "f.png",
                                            "missing.png",
                                            "",
                                            "..",
                                            "../a.png",
                                            std::string("a.png\0x", 7)};
    std::vector<FileRow> rows;
    ASSERT_TRUE(ScanNames(dir.str() + "/", PathMatcher("*.png"), names, rows));
    EXPECT_EQ(Names(rows), (std::vector<std::string>{"a.png", "d.png"}));
    EXPECT_EQ(rows[0].size, 5u);
    rows.clear();
    errno = 0;
    EXPECT_FALSE(ScanNames(dir.str() + "/missing/", PathMatcher("*.*"), names, rows));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_TRUE(rows.empty());
}

FileRow Row(const std::string& name, uint64_t size = 1, int64_t mtime = 100) {
    return FileRow{name, size, mtime, 0};
}

struct Event {
    uint32_t mask;
    uint32_t cookie;
    std::string name;
};

FolderEvents Gathered(const std::vector<Event>& list) {
    FolderEvents events;
    for (const Event& e : list)
        events.Add(e.mask, e.cookie, e.name);
    return events;
}

std::string Describe(const RowChanges& c) {
    std::string out;
    for (const FileRow& r : c.added)
        out += "added " + r.name + " " + std::to_string(r.size) + "; ";
    for (const std::string& n : c.removed)
        out += "removed " + n + "; ";
    for (const auto& [from, r] : c.renamed)
        out += "renamed " + from + " " + r.name + "; ";
    for (const FileRow& r : c.changed)
        out += "changed " + r.name + " " + std::to_string(r.size) + "; ";
    return out;
}

TEST(FolderChanges, WhatTheListDoes) {
    const std::vector<FileRow> listed = {Row("a.png"), Row("b.png"), Row("c.png", 5)};
    const struct {
        const char* what;
        std::vector<Event> events;
        std::vector<FileRow> found; // the touched names that are matching files now
        std::string changes;
    } cases[] = {
        {"a file made and written",
         {{IN_CREATE, 0, "d.png"}, {IN_CLOSE_WRITE, 0, "d.png"}},
         {Row("d.png", 9)},
         "added d.png 9; "},
        {"a file removed", {{IN_DELETE, 0, "b.png"}}, {}, "removed b.png; "},
        {"a file renamed",
         {{IN_MOVED_FROM, 7, "a.png"}, {IN_MOVED_TO, 7, "z.png"}},
         {Row("z.png")},
         "renamed a.png z.png; "},
        {"renamed over a listed file: one goes, the other is rewritten",
         {{IN_MOVED_FROM, 8, "a.png"}, {IN_MOVED_TO, 8, "b.png"}},
         {Row("b.png")},
         "removed a.png; changed b.png 1; "},
        {"renamed to a name the pattern leaves out",
         {{IN_MOVED_FROM, 9, "a.png"}, {IN_MOVED_TO, 9, "a.txt"}},
         {},
         "removed a.png; "},
        {"renamed from a name not listed: a new file",
         {{IN_MOVED_FROM, 3, "a.tmp"}, {IN_MOVED_TO, 3, "e.png"}},
         {Row("e.png", 4)},
         "added e.png 4; "},
        {"moved in from elsewhere, moved out to elsewhere",
         {{IN_MOVED_TO, 4, "f.png"}, {IN_MOVED_FROM, 5, "c.png"}},
         {Row("f.png")},
         "added f.png 1; removed c.png; "},
        {"rewritten with the same size in the same second",
         {{IN_CLOSE_WRITE, 0, "c.png"}},
         {Row("c.png", 5)},
         "changed c.png 5; "},
        {"touched: a new time",
         {{IN_ATTRIB, 0, "c.png"}},
         {Row("c.png", 5, 200)},
         "changed c.png 5; "},
        {"rights changed, nothing else", {{IN_ATTRIB, 0, "c.png"}}, {Row("c.png", 5)}, ""},
        {"made and removed within the while",
         {{IN_CREATE, 0, "g.png"}, {IN_DELETE, 0, "g.png"}},
         {},
         ""},
        {"removed and made again: rewritten",
         {{IN_DELETE, 0, "a.png"}, {IN_CREATE, 0, "a.png"}, {IN_CLOSE_WRITE, 0, "a.png"}},
         {Row("a.png", 3)},
         "changed a.png 3; "},
        {"renamed twice: old gone, newest added",
         {{IN_MOVED_FROM, 1, "a.png"},
          {IN_MOVED_TO, 1, "x.png"},
          {IN_MOVED_FROM, 2, "x.png"},
          {IN_MOVED_TO, 2, "y.png"}},
         {Row("y.png")},
         "added y.png 1; removed a.png; "},
        {"a folder made: not a file", {{IN_CREATE | IN_ISDIR, 0, "sub.png"}}, {}, ""},
    };
    for (const auto& c : cases) {
        const FolderEvents events = Gathered(c.events);
        EXPECT_FALSE(events.gone) << c.what;
        EXPECT_EQ(Describe(DiffRows(listed, events, c.found)), c.changes) << c.what;
    }
}

TEST(FolderChanges, LostEventsReadTheWholeFolder) {
    const std::vector<FileRow> listed = {Row("a.png"), Row("b.png"), Row("c.png")};
    FolderEvents events;
    events.Add(IN_Q_OVERFLOW, 0, {});
    EXPECT_TRUE(events.overflow);
    EXPECT_FALSE(events.Empty());
    const std::vector<FileRow> folder = {Row("a.png"), Row("c.png", 2), Row("d.png")};
    EXPECT_EQ(Describe(DiffRows(listed, events, folder)),
              "added d.png 1; removed b.png; changed c.png 2; ");
    EXPECT_EQ(Describe(DiffRows(listed, events, listed)), "");
    EXPECT_EQ(Describe(DiffRows({}, events, {})), "");
}

// The program's own changes, where the watch may have shown some already:
// nothing shown twice, nothing removed that is not shown.
TEST(FolderChanges, WhatTheProgramDidIsMadeOnce) {
    const std::vector<FileRow> listed = {Row("a.png"), Row("b.png"), Row("c.png", 5)};
    const auto removed = [](const char* name) {
        RowChanges done;
        done.removed = {name};
        return done;
    };
    const auto renamed = [](const char* from, FileRow row) {
        RowChanges done;
        done.renamed.emplace_back(from, std::move(row));
        return done;
    };
    const auto added = [](FileRow row) {
        RowChanges done;
        done.added = {std::move(row)};
        return done;
    };
    RowChanges replaced = added(Row("a.png", 3)); // trashed, another of that name copied in
    replaced.removed = {"a.png"};
    RowChanges rewritten;
    rewritten.changed = {Row("c.png", 6), Row("x.png")};
    const struct {
        const char* what;
        RowChanges done;
        std::string changes;
    } cases[] = {
        {"removed", removed("b.png"), "removed b.png; "},
        {"removed, and the watch was first", removed("x.png"), ""},
        {"renamed", renamed("a.png", Row("z.png")), "renamed a.png z.png; "},
        {"renamed, and the watch was first", renamed("q.png", Row("a.png")), "changed a.png 1; "},
        {"renamed from a row not shown", renamed("q.png", Row("z.png")), "added z.png 1; "},
        {"renamed over a row shown", renamed("a.png", Row("b.png", 4)),
         "removed a.png; changed b.png 4; "},
        {"copied in", added(Row("d.png", 9)), "added d.png 9; "},
        {"copied in, and the watch saw it begin", added(Row("c.png", 7)), "changed c.png 7; "},
        {"replaced", replaced, "added a.png 3; removed a.png; "},
        {"rewritten", rewritten, "changed c.png 6; "},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Describe(ChangesStillToMake(listed, c.done)), c.changes) << c.what;
}

// Names the program changed after a check read them are left as they are shown.
TEST(FolderChanges, NamesLeftAlone) {
    const std::vector<FileRow> listed = {Row("a.png"), Row("b.png")};
    const std::set<std::string> leave = {"a.png", "n.png"};
    FolderEvents overflow;
    overflow.Add(IN_Q_OVERFLOW, 0, {});
    const std::vector<FileRow> folder = {Row("n.png")};
    EXPECT_EQ(Describe(DiffRows(listed, overflow, folder, leave)), "removed b.png; ");
    const FolderEvents events = Gathered({{IN_MOVED_FROM, 1, "b.png"},
                                          {IN_MOVED_TO, 1, "a.png"},
                                          {IN_CREATE, 0, "n.png"},
                                          {IN_CREATE, 0, "m.png"}});
    const std::vector<FileRow> found = {Row("a.png"), Row("n.png"), Row("m.png")};
    EXPECT_EQ(Describe(DiffRows(listed, events, found, leave)), "added m.png 1; removed b.png; ");
}

TEST(FolderChanges, EventsGatheredOverWhiles) {
    // The folder itself going or being unmounted; nameless events otherwise count for nothing.
    for (const uint32_t self :
         {uint32_t(IN_DELETE_SELF), uint32_t(IN_MOVE_SELF), uint32_t(IN_UNMOUNT)}) {
        FolderEvents e;
        e.Add(self, 0, {});
        EXPECT_TRUE(e.gone) << self;
        EXPECT_TRUE(e.touched.empty());
    }
    FolderEvents ignored;
    ignored.Add(IN_IGNORED, 0, {});
    EXPECT_TRUE(ignored.Empty());

    // A rename whose halves come in two whiles still pairs up; an unpaired
    // half is a plain touch.
    FolderEvents first = Gathered({{IN_MOVED_FROM, 11, "a.png"}, {IN_MOVED_FROM, 12, "b.png"}});
    EXPECT_TRUE(first.renames.empty());
    first.Merge(Gathered({{IN_MOVED_TO, 11, "n.png"}, {IN_CREATE | IN_ISDIR, 0, "dir"}}));
    ASSERT_EQ(first.renames.size(), 1u);
    EXPECT_EQ(first.renames[0], std::make_pair(std::string("a.png"), std::string("n.png")));
    EXPECT_EQ(first.touched, (std::set<std::string>{"a.png", "b.png", "dir", "n.png"}));
    EXPECT_EQ(first.rewritten, (std::set<std::string>{"n.png"}));
    EXPECT_EQ(first.folders, (std::set<std::string>{"dir"}));
    const std::vector<FileRow> listed = {Row("a.png"), Row("b.png")};
    EXPECT_EQ(Describe(DiffRows(listed, first, std::vector<FileRow>{Row("n.png")})),
              "removed b.png; renamed a.png n.png; ");
}

} // namespace
