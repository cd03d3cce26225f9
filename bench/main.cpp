// vantrel-bench: Google Benchmark with an off-screen Qt application, since the
// file list benchmarks fill a real list widget.
#include <QApplication>
#include <benchmark/benchmark.h>

void RemoveBenchFolders();
void RemovePreviewFiles();

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    RemoveBenchFolders();
    RemovePreviewFiles();
    return 0;
}
