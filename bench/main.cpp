// vantrel-bench: Google Benchmark with an off-screen Qt application, since the
// file list benchmarks fill a real list widget.
#include "bench/BenchSupport.h"

#include <QApplication>
#include <filesystem>
#include <unistd.h>
#include <vector>

namespace {
std::vector<std::string> scratch;
}

std::string ScratchFolder() {
    char templ[] = "/tmp/vantrel-bench-XXXXXX";
    const char* made = ::mkdtemp(templ);
    scratch.push_back(made ? made : "/tmp");
    return scratch.back();
}

void RemoveScratchFolders() {
    for (const std::string& dir : scratch) {
        std::error_code ec;
        if (dir != "/tmp") std::filesystem::remove_all(dir, ec);
    }
    scratch.clear();
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    RemoveScratchFolders();
    return 0;
}
