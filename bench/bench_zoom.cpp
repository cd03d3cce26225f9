// The full view's repaint of a 6000 x 4000 picture on a full-HD view, as the
// user zooms or pans: at actual size, fitted, zoomed out a step below the fit
// and in to 400 %. Next to it the same repaint without the halved copies
// (drawing the fitted picture smoothly from the whole picture), the road a
// plain painter would take. The halved copies are made before the timing
// starts, as the first zoom-out makes them (its cost is its own benchmark).
#include "bench/BenchSupport.h"
#include "viewers/ZoomView.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QPainter>
#include <benchmark/benchmark.h>
#include <random>

namespace {

constexpr int kWidth = 6000, kHeight = 4000, kViewWidth = 1920, kViewHeight = 1080;

StdPicture Photo() {
    static const StdPicture photo = [] {
        auto p = std::make_shared<cDIB>();
        p->Create(kWidth, kHeight, 32);
        std::mt19937 rng(3);
        for (int y = 0; y < kHeight; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(
                p->lpBits() + std::size_t(y) * std::size_t(p->BytesPerScanline()));
            for (int x = 0; x < kWidth; ++x)
                row[x] = ((uint32_t(x / 24) & 0xFF) << 16) | ((uint32_t(y / 16) & 0xFF) << 8) |
                         (rng() & 0x3F);
        }
        return p;
    }();
    return photo;
}

void Press(ZoomView& view, Qt::Key key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &press);
}

// One repaint of the view, as a zoom or a pan would ask for, after `keys`.
void Repaint(benchmark::State& state, std::vector<Qt::Key> keys, bool pan) {
    ZoomView view;
    view.resize(kViewWidth, kViewHeight);
    view.show(); // painted only while shown
    view.SetPicture(Photo());
    for (Qt::Key k : keys)
        Press(view, k);
    // Painted into an image of the view's size, as onto the screen.
    QImage target(view.viewport()->size(), QImage::Format_RGB32);
    view.viewport()->render(&target); // the halved copies this zoom needs
    int step = 0;
    for (auto _ : state) {
        if (pan) Press(view, (step++ & 1) ? Qt::Key_Left : Qt::Key_Right);
        view.viewport()->render(&target);
    }
    state.counters["zoom_percent"] = view.State().Zoom() * 100;
}

// The fitted picture drawn smoothly from the whole picture by a painter.
void FitWithoutCopies(benchmark::State& state) {
    const StdPicture p = Photo();
    const QImage whole(p->lpBits(), p->Width(), p->Height(), p->BytesPerScanline(),
                       QImage::Format_RGB32);
    QImage target(kViewWidth, kViewHeight, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&target);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRectF(0, 0, kWidth * 0.27, kHeight * 0.27), whole);
    }
}

// The first zoom out of a new picture: the halved copies made.
void FirstFit(benchmark::State& state) {
    for (auto _ : state) {
        ZoomView view;
        view.resize(kViewWidth, kViewHeight);
        view.show();
        view.SetPicture(Photo());
        Press(view, Qt::Key_F);
        QImage target(view.viewport()->size(), QImage::Format_RGB32);
        view.viewport()->render(&target);
    }
}

int Register() {
    auto add = [](const char* name, std::vector<Qt::Key> keys, bool pan) {
        benchmark::RegisterBenchmark(name, Repaint, std::move(keys), pan)
            ->Unit(benchmark::kMillisecond);
    };
    add("ZoomRepaint/photo6000x4000/vantrel_actual_size_pan", {}, true);
    add("ZoomRepaint/photo6000x4000/vantrel_fit", {Qt::Key_F}, false);
    add("ZoomRepaint/photo6000x4000/vantrel_below_fit_pan", {Qt::Key_F, Qt::Key_Minus}, true);
    add("ZoomRepaint/photo6000x4000/vantrel_400_percent_pan",
        {Qt::Key_Plus, Qt::Key_Plus, Qt::Key_Plus, Qt::Key_Plus}, true);
    benchmark::RegisterBenchmark("ZoomRepaint/photo6000x4000/painter_fit_from_whole",
                                 FitWithoutCopies)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("ZoomRepaint/photo6000x4000/vantrel_first_fit", FirstFit)
        ->Unit(benchmark::kMillisecond);
    return 0;
}
const int registered = Register();

} // namespace
