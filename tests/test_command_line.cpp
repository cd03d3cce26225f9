// The command line: a folder, a file, the usual options, and paths that
// cannot be used.
#include "TempDir.h"
#include "app/CommandLine.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {
StartRequest Parse(std::vector<std::string> args) {
    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    return ParseCommandLine(int(argv.size()), argv.data());
}
} // namespace

TEST(CommandLine, FoldersFilesAndOptions) {
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "pics");
    dir.Write("pics/a photo.png", "x");
    dir.Write("-dash.png", "x");
    const std::string pics = std::filesystem::canonical(dir.path() / "pics").string();

    EXPECT_EQ(Parse({}).kind, StartRequest::Kind::Stored);
    EXPECT_EQ(Parse({"--help"}).kind, StartRequest::Kind::Help);
    EXPECT_EQ(Parse({"-h"}).kind, StartRequest::Kind::Help);
    EXPECT_EQ(Parse({"--version"}).kind, StartRequest::Kind::Version);
    EXPECT_EQ(Parse({"--frobnicate"}).kind, StartRequest::Kind::BadOption);

    StartRequest r = Parse({pics + "/"});
    EXPECT_EQ(r.kind, StartRequest::Kind::Folder);
    EXPECT_EQ(r.folder, pics);
    r = Parse({(dir.path() / "pics" / ".." / "pics" / "a photo.png").string()});
    EXPECT_EQ(r.kind, StartRequest::Kind::File);
    EXPECT_EQ(r.folder, pics);
    EXPECT_EQ(r.file, "a photo.png");
    r = Parse({"--", (dir.path() / "-dash.png").string()}); // a name that looks like an option
    EXPECT_EQ(r.kind, StartRequest::Kind::File);
    EXPECT_EQ(r.file, "-dash.png");
    r = Parse({"/"});
    EXPECT_EQ(r.folder, "/");
    r = Parse({pics, "/tmp"}); // one path only: the rest is reported
    EXPECT_EQ(r.kind, StartRequest::Kind::Folder);
    EXPECT_NE(r.error.find("ignored"), std::string::npos);
}

// Qt's own options are read again by QApplication: the line is read before it,
// so they and their values pass over, with one dash or two; nothing else does.
TEST(CommandLine, ToolkitOptionsPassOver) {
    TempDir dir;
    const std::string folder = std::filesystem::canonical(dir.path()).string();
    StartRequest r = Parse({"-platform", "offscreen", folder});
    EXPECT_EQ(r.kind, StartRequest::Kind::Folder);
    EXPECT_EQ(r.folder, folder);
    EXPECT_TRUE(r.error.empty()) << r.error;
    r = Parse({"--style=Fusion", "-reverse", "--qwindowtitle", "-bogus", folder});
    EXPECT_EQ(r.kind, StartRequest::Kind::Folder); // "-bogus" is the title here
    EXPECT_TRUE(r.error.empty()) << r.error;
    EXPECT_EQ(Parse({"-style", "Fusion"}).kind, StartRequest::Kind::Stored);
    EXPECT_EQ(Parse({"-platform", "offscreen", "--version"}).kind, StartRequest::Kind::Version);
    for (const char* bad : {"--bogus", "-platformx", "-stylesheetx", "---reverse"})
        EXPECT_EQ(Parse({bad}).kind, StartRequest::Kind::BadOption) << bad;
    // After "--" an option's name is a path.
    r = Parse({"--", "-reverse"});
    EXPECT_EQ(r.kind, StartRequest::Kind::Stored);
    EXPECT_NE(r.error.find("-reverse"), std::string::npos) << r.error;
}

TEST(CommandLine, UnusablePathsStartAtTheStoredFolder) {
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir.path() / "fifo").c_str(), 0600), 0);
    for (const std::string& bad : {(dir.path() / "missing").string(),
                                   (dir.path() / "fifo").string(), std::string("/dev/null")}) {
        const StartRequest r = Parse({bad});
        EXPECT_EQ(r.kind, StartRequest::Kind::Stored) << bad;
        EXPECT_NE(r.error.find(bad), std::string::npos) << r.error;
    }
}
