// Moving 1,000 files of 100 KB into another folder: on the same file system
// (a rename each) next to one `mv` process, and onto a tmpfs (/dev/shm: a
// synced copy, then the source removed) next to `cp` and then `rm` run as
// processes on the same files. After each move, outside the timed part,
// every file's bytes are checked by hash against the original's.
#include "bench/BenchSupport.h"
#include "fileops/Transfer.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr int kFiles = 1000;
constexpr size_t kFileBytes = 100 * 1024;
constexpr uint64_t kFnvOffset = 1469598103934665603ull, kFnvPrime = 1099511628211ull;

uint64_t Hash(const std::string& bytes) {
    uint64_t h = kFnvOffset;
    for (char c : bytes)
        h = (h ^ uint8_t(c)) * kFnvPrime;
    return h;
}

std::string Contents(int file) {
    std::string bytes(kFileBytes, '\0');
    uint32_t x = uint32_t(file) * 2654435761u + 7;
    for (char& c : bytes) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        c = char(x);
    }
    return bytes;
}

std::string Name(int file) {
    return "DSC_" + std::to_string(10000 + file) + ".jpg";
}

// The hash of each file's bytes, made once per run.
const std::vector<uint64_t>& Hashes() {
    static const std::vector<uint64_t> hashes = [] {
        std::vector<uint64_t> h;
        for (int i = 0; i < kFiles; ++i)
            h.push_back(Hash(Contents(i)));
        return h;
    }();
    return hashes;
}

// The files on disk, as a user's photos are, so that neither side of a
// figure pays for writing them back.
void MakeFiles(const std::string& folder) {
    for (int i = 0; i < kFiles; ++i) {
        const std::string bytes = Contents(i);
        const int fd = ::open((folder + "/" + Name(i)).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) continue;
        if (::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size())) ::fdatasync(fd);
        ::close(fd);
    }
}

std::vector<std::string> Paths(const std::string& folder) {
    std::vector<std::string> paths;
    for (int i = 0; i < kFiles; ++i)
        paths.push_back(folder + "/" + Name(i));
    return paths;
}

// True when `to` holds every file with its bytes and `from` none of them.
bool AllMoved(const std::string& from, const std::string& to) {
    for (int i = 0; i < kFiles; ++i) {
        std::ifstream in(to + "/" + Name(i), std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), {}};
        if (Hash(bytes) != Hashes()[size_t(i)]) return false;
        if (std::filesystem::exists(from + "/" + Name(i))) return false;
    }
    return true;
}

bool RunProgram(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
    int status = 0;
    return ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A folder on a tmpfs, removed at the end of the benchmark.
class ShmFolder {
  public:
    ShmFolder() {
        char templ[] = "/dev/shm/vantrel-bench-XXXXXX";
        if (const char* made = ::mkdtemp(templ)) path_ = made;
    }
    ~ShmFolder() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// Moves the files from one folder to the other, `mover` timed, the check not.
// On one file system they move back and forth; the tmpfs gets its files
// from new sources each time.
template <typename Mover> void MoveEach(benchmark::State& state, bool toTmpfs, Mover mover) {
    ShmFolder shm;
    std::string from = ScratchFolder();
    std::string to = toTmpfs ? shm.path() : ScratchFolder();
    if (to.empty()) {
        state.SkipWithError("no folder could be made in /dev/shm");
        return;
    }
    MakeFiles(from);
    for (auto _ : state) {
        if (!mover(from, to)) {
            state.SkipWithError("the move failed");
            break;
        }
        state.PauseTiming();
        const bool whole = AllMoved(from, to);
        if (toTmpfs) {
            for (const std::string& p : Paths(to))
                ::unlink(p.c_str());
            MakeFiles(from);
        } else {
            std::swap(from, to);
        }
        state.ResumeTiming();
        if (!whole) {
            state.SkipWithError("a file is missing or a byte differs after the move");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
    state.SetBytesProcessed(state.iterations() * kFiles * int64_t(kFileBytes));
}

void MoveVantrel(benchmark::State& state, bool toTmpfs) {
    MoveEach(state, toTmpfs, [](const std::string& from, const std::string& to) {
        const TransferDone done = TransferFiles(TransferKind::Move, Paths(from), to);
        for (const FileOutcome& o : done.outcomes)
            if (!o.Done()) return false;
        return true;
    });
}

void MoveByPrograms(benchmark::State& state, bool toTmpfs) {
    MoveEach(state, toTmpfs, [toTmpfs](const std::string& from, const std::string& to) {
        std::vector<std::string> args = Paths(from);
        if (!toTmpfs) {
            args.insert(args.begin(), {"mv", "--"});
            args.push_back(to);
            return RunProgram(args);
        }
        args.insert(args.begin(), {"cp", "--"});
        args.push_back(to);
        if (!RunProgram(args)) return false;
        args = Paths(from);
        args.insert(args.begin(), {"rm", "-f", "--"});
        return RunProgram(args);
    });
}

// A fixed number of rounds: each new set of sources is written to disk
// between them, which takes far longer than the moves.
constexpr int kSameFileSystemRounds = 10, kTmpfsRounds = 3;

int Register() {
    struct Pair {
        const char* base;
        const char* reference;
        bool toTmpfs;
        int rounds;
    } const pairs[] = {
        {"Transfer/Move1000x100KB/SameFileSystem", "mv", false, kSameFileSystemRounds},
        {"Transfer/Move1000x100KB/ToTmpfs", "cp_then_rm", true, kTmpfsRounds},
    };
    for (const Pair& p : pairs) {
        const std::string base = p.base;
        for (const auto& [name, run] : {std::pair{std::string("vantrel"), &MoveVantrel},
                                        std::pair{std::string(p.reference), &MoveByPrograms}})
            benchmark::RegisterBenchmark((base + "/" + name).c_str(), run, p.toTmpfs)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime()
                ->Iterations(p.rounds);
    }
    return 0;
}
const int registered = Register();

} // namespace
