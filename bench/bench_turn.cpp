// A lossless quarter turn of a 24 MP photo (JPEG quality 90, 4:2:0, with an
// EXIF segment) through TurnJpeg, written beside the original, synced and
// renamed over it, next to `jpegtran -rotate 90 -copy all` run as a process on
// the same file in the same run, its output synced as ours is (the file and
// its folder), so that both pay for the disk. Each round starts from a fresh
// copy of the photo made outside the timing.
#include "bench/BenchSupport.h"
#include "bench/GrainyPhoto.h"
#include "imaging/LosslessTurn.h"

#include <FreeImage.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr int kPhotoWidth = 6000, kPhotoHeight = 4000; // 24 MP
constexpr int kQuality = 90;

// The photo, made once: a folder holding "source.jpg".
const std::string& Folder() {
    static const std::string dir = [] {
        const std::string d = ScratchFolder();
        const std::string path = d + "/source.jpg";
        FIBITMAP* b = GrainyPhoto(kPhotoWidth, kPhotoHeight, 30);
        FreeImage_Save(FIF_JPEG, b, path.c_str(), kQuality | JPEG_SUBSAMPLING_420);
        FreeImage_Unload(b);
        std::ifstream in(path, std::ios::binary);
        std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        Orientation::WriteJpeg(bytes, 1); // an EXIF segment, as a camera's photo has
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return d;
    }();
    return dir;
}

void Sync(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

void Fresh(const std::string& copy) {
    std::filesystem::copy_file(Folder() + "/source.jpg", copy,
                               std::filesystem::copy_options::overwrite_existing);
}

void Ours(benchmark::State& state, int) {
    const std::string path = Folder() + "/ours.jpg";
    for (auto _ : state) {
        state.PauseTiming();
        Fresh(path);
        state.ResumeTiming();
        const TurnOutcome t = TurnJpeg(path, Turn::Right);
        if (!t.outcome.Done() || t.byTag) return state.SkipWithError(t.outcome.reason.c_str());
    }
}

void Jpegtran(benchmark::State& state, int) {
    const std::string in = Folder() + "/in.jpg", out = Folder() + "/jpegtran.jpg";
    Fresh(in);
    std::string args[] = {"jpegtran", "-rotate", "90", "-copy", "all", "-outfile", out, in};
    char* argv[] = {args[0].data(), args[1].data(), args[2].data(), args[3].data(), args[4].data(),
                    args[5].data(), args[6].data(), args[7].data(), nullptr};
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove(out);
        state.ResumeTiming();
        pid_t pid = 0;
        int status = 0;
        if (::posix_spawnp(&pid, "jpegtran", nullptr, nullptr, argv, environ) != 0 ||
            ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            return state.SkipWithError("jpegtran did not run (Debian libjpeg-turbo-progs)");
        Sync(out);
        Sync(Folder());
    }
}

const bool registered = [] {
    RegisterPair("LosslessTurn24MP", Ours, "jpegtran", Jpegtran, 0);
    return true;
}();

} // namespace
