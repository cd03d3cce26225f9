// Listing big folders: ListFiles into an off-screen list next to the floor,
// the bare readdir + stat of the same folder, in the same run.
#include "bench/BenchSupport.h"
#include "browse/FileListView.h"
#include "browse/cFileView.h"

#include <benchmark/benchmark.h>

#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::map<int, std::string> made; // files -> folder

// A folder of `files` files with image names, made once per run.
const std::string& Folder(int files) {
    auto it = made.find(files);
    if (it != made.end()) return it->second;
    const std::string dir = ScratchFolder();
    static const char* const ext[] = {".jpg", ".png", ".gif", ".bmp", ".txt"};
    for (int i = 0; i < files; ++i) {
        const std::string name = dir + "/IMG_" + std::to_string(i * 7919 % files) + ext[i % 5];
        ::close(::open(name.c_str(), O_CREAT | O_WRONLY, 0644));
    }
    return made.emplace(files, dir).first->second;
}

void ListVantrel(benchmark::State& state, int files) {
    const std::string& dir = Folder(files);
    FileListView list;
    cFileView view;
    view.SetListView(&list);
    view.SetPattern("*.*");
    for (auto _ : state)
        benchmark::DoNotOptimize(view.ListFiles(dir, true));
    state.SetItemsProcessed(state.iterations() * files);
}

void ListFloor(benchmark::State& state, int files) {
    const std::string& dir = Folder(files);
    for (auto _ : state) {
        DIR* d = ::opendir(dir.c_str());
        int64_t total = 0;
        while (const dirent* e = ::readdir(d)) {
            struct stat st {};
            if (::fstatat(::dirfd(d), e->d_name, &st, 0) == 0) total += st.st_size;
        }
        ::closedir(d);
        benchmark::DoNotOptimize(total);
    }
    state.SetItemsProcessed(state.iterations() * files);
}

int Register() {
    for (const int files : {10000, 100000})
        RegisterPair("ListFiles/" + std::to_string(files), ListVantrel, "floor", ListFloor, files);
    return 0;
}
const int registered = Register();

} // namespace
