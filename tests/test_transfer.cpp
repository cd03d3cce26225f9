// Copying and moving files into a folder, on real files: a rename inside one
// file system, a synced copy across two (a tmpfs mounted by the test), and
// every fault a user meets on the way leaving the source whole and no half
// file under the destination's name, the process killed at each step too.
#include "fileops/Transfer.h"
#include "tests/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <sys/mount.h>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace {

// A tmpfs of its own for one test, in a temporary folder, unmounted at the end.
class Tmpfs {
  public:
    explicit Tmpfs(const std::string& options = "size=64m") {
        fs::create_directory(dir_.path() / "mnt");
        path_ = (dir_.path() / "mnt").string();
        if (::mount("tmpfs", path_.c_str(), "tmpfs", 0, options.c_str()) != 0) error_ = errno;
    }
    ~Tmpfs() {
        if (error_ == 0) ::umount2(path_.c_str(), MNT_DETACH);
    }
    bool Mounted() const { return error_ == 0; }
    std::string Why() const {
        return "cannot mount a tmpfs here (" + std::string(std::strerror(error_)) +
               "): the test needs a second file system";
    }
    bool MakeReadOnly() const {
        return ::mount(nullptr, path_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }
    const std::string& path() const { return path_; }

  private:
    TempDir dir_;
    std::string path_;
    int error_ = 0;
};

#define MOUNT_OR_SKIP(m)                                                                           \
    if (!(m).Mounted()) {                                                                          \
        GTEST_SKIP() << (m).Why();                                                                 \
    }                                                                                              \
    static_assert(true)

// Bytes that differ from file to file and from block to block.
std::string Varied(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (char& c : bytes) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        c = char(x);
    }
    return bytes;
}

ino_t Inode(const fs::path& p) {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0 ? st.st_ino : 0;
}

// The names in a folder, hidden ones too.
std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

bool Exists(const fs::path& p) {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0;
}

TransferDone Transfer(TransferKind kind, const std::vector<fs::path>& sources,
                      const std::string& dest, const TransferOptions& options = {}) {
    std::vector<std::string> paths;
    for (const auto& p : sources)
        paths.push_back(p.string());
    return TransferFiles(kind, paths, dest, options);
}

const char* KindName(TransferKind kind) {
    return kind == TransferKind::Move ? "move" : "copy";
}

} // namespace

TEST(Transfer, MoveInsideOneFileSystemIsARename) {
    TempDir src, dest;
    const std::string bytes = Varied(300000, 1);
    const auto a = src.Write("a.jpg", bytes);
    const ino_t inode = Inode(a);
    const TransferDone done = Transfer(TransferKind::Move, {a}, dest.str());
    ASSERT_EQ(done.outcomes.size(), 1u);
    EXPECT_TRUE(done.outcomes[0].Done()) << done.outcomes[0].reason;
    EXPECT_EQ(done.outcomes[0].result, (dest.path() / "a.jpg").string());
    EXPECT_FALSE(Exists(a));
    EXPECT_EQ(Inode(dest.path() / "a.jpg"), inode);
    EXPECT_EQ(TempDir::Read(dest.path() / "a.jpg"), bytes);
    EXPECT_FALSE(done.cancelled);
}

// Across file systems a move copies, syncs and then removes; a copy is the
// same without the removal. The bytes, the permissions and the modification
// time arrive; no temporary file stays; the steps come in their order; the
// progress reaches the total.
TEST(Transfer, AcrossFileSystemsAndCopiesTheBytesArrive) {
    Tmpfs other;
    MOUNT_OR_SKIP(other);
    TempDir near;
    for (TransferKind kind : {TransferKind::Move, TransferKind::Copy}) {
        for (const std::string& dest : {other.path(), near.str()}) {
            SCOPED_TRACE(std::string(KindName(kind)) + " to " + dest);
            if (kind == TransferKind::Move && dest != other.path()) continue;
            TempDir src;
            const std::string big = Varied(3 * 1024 * 1024 + 17, 2), small = Varied(1000, 3);
            const auto a = src.Write("big.png", big), b = src.Write("small.gif", small);
            ::chmod(a.c_str(), 0640);
            const timespec old[2] = {{1000000000, 0}, {1234567890, 123456789}};
            ::utimensat(AT_FDCWD, a.c_str(), old, 0);
            std::vector<TransferStep> steps;
            std::vector<uint64_t> progress;
            TransferOptions options;
            options.observeStep = [&](TransferStep s) { steps.push_back(s); };
            options.progress = [&](uint64_t done, uint64_t total) {
                EXPECT_EQ(total, big.size() + small.size());
                progress.push_back(done);
            };
            const TransferDone done = Transfer(kind, {a, b}, dest, options);
            ASSERT_EQ(done.outcomes.size(), 2u);
            for (const FileOutcome& o : done.outcomes)
                EXPECT_TRUE(o.Done()) << o.reason;
            EXPECT_EQ(TempDir::Read(fs::path(dest) / "big.png"), big);
            EXPECT_EQ(TempDir::Read(fs::path(dest) / "small.gif"), small);
            EXPECT_EQ(Exists(a), kind == TransferKind::Copy);
            EXPECT_EQ(Exists(b), kind == TransferKind::Copy);
            EXPECT_EQ(Names(dest), (std::vector<std::string>{"big.png", "small.gif"}));
            struct stat st {};
            ::stat((fs::path(dest) / "big.png").c_str(), &st);
            EXPECT_EQ(st.st_mode & 0777, 0640u);
            EXPECT_EQ(st.st_mtim.tv_sec, old[1].tv_sec);
            EXPECT_EQ(st.st_mtim.tv_nsec, old[1].tv_nsec);
            std::vector<TransferStep> oneFile = {
                TransferStep::Begin,       TransferStep::TempCreated,  TransferStep::DataWritten,
                TransferStep::DataSynced,  TransferStep::SizesChecked, TransferStep::Renamed,
                TransferStep::FolderSynced};
            if (kind == TransferKind::Move) oneFile.push_back(TransferStep::SourceRemoved);
            std::vector<TransferStep> both = oneFile;
            both.insert(both.end(), oneFile.begin(), oneFile.end());
            EXPECT_EQ(steps, both);
            ASSERT_GT(progress.size(), 4u); // a block at a time, then each file
            EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
            EXPECT_EQ(progress.back(), big.size() + small.size());
            fs::remove_all(fs::path(dest) / "big.png");
            fs::remove_all(fs::path(dest) / "small.gif");
        }
    }
}

TEST(Transfer, ReadOnlyOrFullDestinationLeavesTheSourceAndNoHalfFile) {
    struct Case {
        const char* options;
        bool readOnly;
        const char* reason;
    } const cases[] = {
        {"size=64m", true, "The destination folder is read-only"},
        {"size=64k", false, "No space left on the destination"},
    };
    for (const Case& c : cases) {
        for (TransferKind kind : {TransferKind::Move, TransferKind::Copy}) {
            SCOPED_TRACE(std::string(c.reason) + ", " + KindName(kind));
            Tmpfs other(c.options);
            MOUNT_OR_SKIP(other);
            if (c.readOnly) {
                ASSERT_TRUE(other.MakeReadOnly());
            }
            TempDir src;
            const std::string bytes = Varied(512 * 1024, 4);
            const auto a = src.Write("a.tif", bytes);
            const TransferDone done = Transfer(kind, {a}, other.path());
            ASSERT_EQ(done.outcomes.size(), 1u);
            EXPECT_EQ(done.outcomes[0].status, OutcomeStatus::Failed);
            EXPECT_EQ(done.outcomes[0].reason, c.reason);
            EXPECT_NE(done.outcomes[0].error, 0);
            EXPECT_EQ(done.outcomes[0].result, "");
            EXPECT_EQ(TempDir::Read(a), bytes);
            EXPECT_TRUE(Names(other.path()).empty());
        }
    }
}

// A source removed, or one that grows while it is copied, between the choice
// and the end of the operation.
TEST(Transfer, SourceGoneOrChangedMeanwhile) {
    Tmpfs other;
    MOUNT_OR_SKIP(other);
    TempDir src, near;
    for (const std::string& dest : {other.path(), near.str()}) {
        const auto gone = src.path() / "gone.jpg";
        const TransferDone done = Transfer(TransferKind::Move, {gone}, dest);
        EXPECT_EQ(done.outcomes[0].status, OutcomeStatus::Failed);
        EXPECT_EQ(done.outcomes[0].reason, "The file is gone");
        EXPECT_EQ(done.outcomes[0].error, ENOENT);
    }
    for (TransferKind kind : {TransferKind::Move, TransferKind::Copy}) {
        SCOPED_TRACE(KindName(kind));
        const std::string bytes = Varied(3 * 1024 * 1024, 5);
        const auto a = src.Write("growing.png", bytes);
        bool grown = false;
        TransferOptions options;
        options.progress = [&](uint64_t, uint64_t) {
            if (grown) return;
            grown = true;
            std::ofstream(a, std::ios::app) << "more";
        };
        const TransferDone done = Transfer(kind, {a}, other.path(), options);
        EXPECT_TRUE(grown);
        EXPECT_EQ(done.outcomes[0].status, OutcomeStatus::Failed);
        EXPECT_EQ(done.outcomes[0].reason, "The file changed while it was copied");
        EXPECT_EQ(TempDir::Read(a), bytes + "more");
        EXPECT_TRUE(Names(other.path()).empty());
    }
}

// The same bytes rewritten while they are copied (the time tells), and
// another file put in the source's place before a move removes it.
TEST(Transfer, SourceRewrittenOrReplacedDuringAMove) {
    Tmpfs other;
    MOUNT_OR_SKIP(other);
    TempDir src;
    const std::string bytes = Varied(200000, 6), rewritten = Varied(200000, 7);
    const auto a = src.Write("a.jpg", bytes);
    const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ::utimensat(AT_FDCWD, a.c_str(), old, 0);
    TransferOptions options;
    options.observeStep = [&](TransferStep s) {
        if (s == TransferStep::DataSynced) std::ofstream(a, std::ios::binary) << rewritten;
    };
    TransferDone done = Transfer(TransferKind::Move, {a}, other.path(), options);
    EXPECT_EQ(done.outcomes[0].status, OutcomeStatus::Failed);
    EXPECT_EQ(done.outcomes[0].reason, "The file changed while it was copied");
    EXPECT_EQ(TempDir::Read(a), rewritten);
    EXPECT_TRUE(Names(other.path()).empty());

    options.observeStep = [&](TransferStep s) {
        if (s != TransferStep::SourceRemoved) return;
        src.Write("new.jpg", "a new file");
        fs::rename(src.path() / "new.jpg", a);
    };
    done = Transfer(TransferKind::Move, {a}, other.path(), options);
    EXPECT_EQ(done.outcomes[0].status, OutcomeStatus::Failed);
    EXPECT_EQ(done.outcomes[0].result, fs::path(other.path()) / "a.jpg");
    EXPECT_EQ(TempDir::Read(a), "a new file");
    EXPECT_EQ(TempDir::Read(fs::path(other.path()) / "a.jpg"), rewritten);
}

// A move out of a folder it cannot remove the file from copies nothing; a
// copy from there is fine.
TEST(Transfer, MoveOutOfAReadOnlyFolderCopiesNothing) {
    Tmpfs readOnly, other;
    MOUNT_OR_SKIP(readOnly);
    MOUNT_OR_SKIP(other);
    const std::string bytes = Varied(10000, 8);
    const auto a = fs::path(readOnly.path()) / "a.jpg";
    std::ofstream(a, std::ios::binary) << bytes;
    ASSERT_TRUE(readOnly.MakeReadOnly());
    TransferDone done = Transfer(TransferKind::Move, {a}, other.path());
    EXPECT_EQ(done.outcomes[0].status, OutcomeStatus::Failed);
    EXPECT_EQ(done.outcomes[0].reason, "The file's folder is read-only");
    EXPECT_TRUE(Names(other.path()).empty());
    EXPECT_EQ(TempDir::Read(a), bytes);
    done = Transfer(TransferKind::Copy, {a}, other.path());
    EXPECT_TRUE(done.outcomes[0].Done()) << done.outcomes[0].reason;
    EXPECT_EQ(TempDir::Read(fs::path(other.path()) / "a.jpg"), bytes);
}

TEST(Transfer, AwkwardNames) {
    Tmpfs other;
    MOUNT_OR_SKIP(other);
    const std::string names[] = {
        "two\nlines.jpg",
        "bad \xff\xfe utf8.png",
        std::string(251, 'n') + ".jpg",
        std::string(255, '\xe9'),
    };
    TempDir src, near;
    unsigned seed = 10;
    for (const std::string& name : names) {
        for (TransferKind kind : {TransferKind::Move, TransferKind::Copy}) {
            for (const std::string& dest : {other.path(), near.str()}) {
                SCOPED_TRACE(std::string(KindName(kind)) + " of a name of " +
                             std::to_string(name.size()) + " bytes to " + dest);
                const std::string bytes = Varied(70000, ++seed);
                const auto a = src.Write(name, bytes);
                ASSERT_EQ(TempDir::Read(a), bytes);
                const TransferDone done = Transfer(kind, {a}, dest);
                EXPECT_TRUE(done.outcomes[0].Done()) << done.outcomes[0].reason;
                EXPECT_EQ(TempDir::Read(fs::path(dest) / name), bytes);
                EXPECT_EQ(Names(dest), std::vector<std::string>{name});
                EXPECT_EQ(Exists(a), kind == TransferKind::Copy);
                fs::remove(fs::path(dest) / name);
                fs::remove(a);
            }
        }
    }
}

// A link moves or copies as a link: the same target text, the target file
// untouched, a link that points nowhere too.
TEST(Transfer, ALinkTravelsAsALink) {
    Tmpfs other;
    MOUNT_OR_SKIP(other);
    TempDir src, near;
    const std::string bytes = Varied(5000, 20);
    const auto target = src.Write("target.jpg", bytes);
    const ino_t targetInode = Inode(target);
    for (const std::string& pointsTo : {std::string("target.jpg"), std::string("/nowhere/x.jpg")}) {
        for (TransferKind kind : {TransferKind::Move, TransferKind::Copy}) {
            for (const std::string& dest : {other.path(), near.str()}) {
                SCOPED_TRACE(std::string(KindName(kind)) + " of a link to " + pointsTo + " to " +
                             dest);
                const auto link = src.path() / "link.jpg";
                fs::create_symlink(pointsTo, link);
                const TransferDone done = Transfer(kind, {link}, dest);
                EXPECT_TRUE(done.outcomes[0].Done()) << done.outcomes[0].reason;
                const auto moved = fs::path(dest) / "link.jpg";
                ASSERT_TRUE(fs::is_symlink(moved));
                EXPECT_EQ(fs::read_symlink(moved), pointsTo);
                EXPECT_EQ(Exists(link), kind == TransferKind::Copy);
                EXPECT_EQ(Inode(target), targetInode);
                EXPECT_EQ(TempDir::Read(target), bytes);
                EXPECT_EQ(Names(dest), std::vector<std::string>{"link.jpg"});
                fs::remove(moved);
                fs::remove(link);
            }
        }
    }
}

TEST(Transfer, AFolderAmongTheSourcesIsRefusedAndTheOthersGoOn) {
    Tmpfs other;
    MOUNT_OR_SKIP(other);
    for (TransferKind kind : {TransferKind::Move, TransferKind::Copy}) {
        SCOPED_TRACE(KindName(kind));
        TempDir src;
        const auto a = src.Write("a.jpg", "aaa");
        fs::create_directory(src.path() / "folder");
        src.Write("folder/inside.jpg", "inside");
        const auto b = src.Write("b.jpg", "bbb");
        const TransferDone done = Transfer(kind, {a, src.path() / "folder", b}, other.path());
        ASSERT_EQ(done.outcomes.size(), 3u);
        EXPECT_TRUE(done.outcomes[0].Done());
        EXPECT_EQ(done.outcomes[1].status, OutcomeStatus::Failed);
        EXPECT_EQ(done.outcomes[1].reason, "Folders are not copied or moved");
        EXPECT_TRUE(done.outcomes[2].Done());
        EXPECT_EQ(TempDir::Read(src.path() / "folder/inside.jpg"), "inside");
        EXPECT_EQ(Names(other.path()), (std::vector<std::string>{"a.jpg", "b.jpg"}));
        fs::remove(fs::path(other.path()) / "a.jpg");
        fs::remove(fs::path(other.path()) / "b.jpg");
    }
}

// A name the destination holds: each answer, for a rename and for a copy.
TEST(Transfer, ConflictsAreAnsweredOneByOne) {
    Tmpfs other;
    MOUNT_OR_SKIP(other);
    struct Case {
        bool ask;
        ConflictChoice choice;
        OutcomeStatus first;
        const char* firstIn; // where the first source's bytes end up ("" for nowhere)
        OutcomeStatus second;
    } const cases[] = {
        {false, ConflictChoice::Skip, OutcomeStatus::Skipped, "", OutcomeStatus::Done},
        {true, ConflictChoice::Skip, OutcomeStatus::Skipped, "", OutcomeStatus::Done},
        {true, ConflictChoice::KeepBoth, OutcomeStatus::Done, "a (2).jpg", OutcomeStatus::Done},
        {true, ConflictChoice::Replace, OutcomeStatus::Done, "a.jpg", OutcomeStatus::Done},
        {true, ConflictChoice::CancelAll, OutcomeStatus::Cancelled, "", OutcomeStatus::Cancelled},
    };
    TempDir near;
    for (const Case& c : cases) {
        for (TransferKind kind : {TransferKind::Move, TransferKind::Copy}) {
            for (const std::string& dest : {other.path(), near.str()}) {
                SCOPED_TRACE(std::string(KindName(kind)) + ", answer " +
                             std::to_string(int(c.choice)) + (c.ask ? "" : " (none asked)") +
                             " to " + dest);
                TempDir src;
                const auto a = src.Write("a.jpg", "new a"), b = src.Write("b.jpg", "new b");
                std::ofstream(fs::path(dest) / "a.jpg") << "old a";
                std::vector<std::string> asked;
                TransferOptions options;
                if (c.ask)
                    options.onConflict = [&](const std::string& s, const std::string& existing) {
                        asked.push_back(s + " > " + existing);
                        return c.choice;
                    };
                const TransferDone done = Transfer(kind, {a, b}, dest, options);
                if (c.ask) {
                    EXPECT_EQ(asked, std::vector<std::string>{a.string() + " > " +
                                                              (fs::path(dest) / "a.jpg").string()});
                }
                EXPECT_EQ(done.outcomes[0].status, c.first) << done.outcomes[0].reason;
                EXPECT_EQ(done.outcomes[1].status, c.second);
                EXPECT_EQ(done.cancelled, c.choice == ConflictChoice::CancelAll);
                const std::string in = c.firstIn;
                if (!in.empty()) {
                    EXPECT_EQ(TempDir::Read(fs::path(dest) / in), "new a");
                    EXPECT_EQ(done.outcomes[0].result, (fs::path(dest) / in).string());
                }
                EXPECT_EQ(Exists(a), kind == TransferKind::Copy || in.empty());
                if (in != "a.jpg") {
                    EXPECT_EQ(TempDir::Read(fs::path(dest) / "a.jpg"), "old a");
                }
                EXPECT_EQ(Exists(fs::path(dest) / "b.jpg"), c.second == OutcomeStatus::Done);
                for (const auto& n : Names(dest))
                    fs::remove(fs::path(dest) / n);
            }
        }
    }
}

TEST(Transfer, IntoItsOwnFolderNothingHappens) {
    TempDir src;
    const auto a = src.Write("a.jpg", "aaa");
    bool asked = false;
    TransferOptions options;
    options.onConflict = [&](const std::string&, const std::string&) {
        asked = true;
        return ConflictChoice::Replace;
    };
    for (TransferKind kind : {TransferKind::Move, TransferKind::Copy}) {
        const TransferDone done = Transfer(kind, {a}, src.str(), options);
        EXPECT_EQ(done.outcomes[0].status, OutcomeStatus::Skipped);
        EXPECT_FALSE(done.outcomes[0].reason.empty());
        EXPECT_EQ(TempDir::Read(a), "aaa");
        EXPECT_EQ(Names(src.str()), std::vector<std::string>{"a.jpg"});
    }
    EXPECT_FALSE(asked);
}

TEST(Transfer, FreeNamesKeepTheExtensionAndFit) {
    TempDir dir;
    dir.Write("a.jpg", "");
    EXPECT_EQ(FreeNameIn(dir.str(), "a.jpg"), "a (2).jpg");
    dir.Write("a (2).jpg", "");
    dir.Write("a (3).jpg", "");
    EXPECT_EQ(FreeNameIn(dir.str(), "a.jpg"), "a (4).jpg");
    EXPECT_EQ(FreeNameIn(dir.str(), "notes"), "notes (2)");
    EXPECT_EQ(FreeNameIn(dir.str(), ".hidden"), ".hidden (2)");
    EXPECT_EQ(FreeNameIn(dir.str(), "x.tar.gz"), "x.tar (2).gz");
    const std::string longName = std::string(251, 'n') + ".jpg";
    EXPECT_EQ(FreeNameIn(dir.str(), longName), std::string(247, 'n') + " (2).jpg");
    // A stem of two-byte letters is cut between letters, never inside one.
    std::string letters;
    while (letters.size() < 250)
        letters += "\xc3\xa9";
    EXPECT_EQ(FreeNameIn(dir.str(), letters + ".jpg"), letters.substr(0, 246) + " (2).jpg");
    const std::string longExtension = "a." + std::string(253, 'e');
    EXPECT_LE(FreeNameIn(dir.str(), longExtension).size(), 255u);
}

// Cancel asked while the second of three files is copied: the first is done,
// the second keeps its source and leaves no temporary file, the third is not
// started.
TEST(Transfer, CancelMidwayKeepsTheFileUnderWay) {
    Tmpfs other;
    MOUNT_OR_SKIP(other);
    for (TransferKind kind : {TransferKind::Move, TransferKind::Copy}) {
        SCOPED_TRACE(KindName(kind));
        TempDir src;
        const size_t size = 3 * 1024 * 1024;
        std::vector<fs::path> files;
        for (int i = 0; i < 3; ++i)
            files.push_back(src.Write("f" + std::to_string(i) + ".jpg", Varied(size, 30 + i)));
        std::atomic<bool> cancel{false};
        TransferOptions options;
        options.cancel = &cancel;
        options.progress = [&](uint64_t done, uint64_t) {
            if (done > size) cancel = true;
        };
        const TransferDone done = Transfer(kind, files, other.path(), options);
        EXPECT_TRUE(done.cancelled);
        EXPECT_TRUE(done.outcomes[0].Done());
        EXPECT_EQ(done.outcomes[1].status, OutcomeStatus::Cancelled);
        EXPECT_EQ(done.outcomes[2].status, OutcomeStatus::Cancelled);
        EXPECT_EQ(Names(other.path()), std::vector<std::string>{"f0.jpg"});
        EXPECT_EQ(TempDir::Read(files[1]), Varied(size, 31));
        EXPECT_EQ(TempDir::Read(files[2]), Varied(size, 32));
        fs::remove(fs::path(other.path()) / "f0.jpg");
    }
}

// The process killed at each step of a move across file systems: the source
// or the moved file is whole, never neither, and a file under the
// destination's name is never half.
TEST(Transfer, KilledAtEveryStepOfAMoveNothingIsLost) {
    Tmpfs other;
    MOUNT_OR_SKIP(other);
    const std::string bytes = Varied(2 * 1024 * 1024 + 5, 40);
    for (int step = int(TransferStep::Begin); step <= int(TransferStep::SourceRemoved); ++step) {
        SCOPED_TRACE("killed at step " + std::to_string(step));
        TempDir src;
        const auto a = src.Write("a.jpg", bytes);
        const auto moved = fs::path(other.path()) / "a.jpg";
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            TransferOptions options;
            options.observeStep = [step](TransferStep s) {
                if (int(s) == step) ::raise(SIGKILL);
            };
            TransferFiles(TransferKind::Move, {a.string()}, other.path(), options);
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        const bool sourceWhole = Exists(a) && TempDir::Read(a) == bytes;
        const bool movedWhole = Exists(moved) && TempDir::Read(moved) == bytes;
        EXPECT_TRUE(sourceWhole || movedWhole);
        EXPECT_TRUE(!Exists(moved) || movedWhole) << "a half file under the destination's name";
        for (const auto& n : Names(other.path()))
            fs::remove(fs::path(other.path()) / n);
    }
}
