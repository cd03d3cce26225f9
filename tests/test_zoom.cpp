// The zooming view: its steps and bounds, the point kept under the anchor,
// the fit of wide and tall pictures, panning to the edges and no further;
// and the widget driven by keys, wheel and mouse as a user would.
#include "viewers/ZoomState.h"
#include "viewers/ZoomView.h"

#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <cmath>

class ZoomTest : public QObject {
    Q_OBJECT
  private slots:
    void stepsAndBounds();
    void anchorPointStays();
    void fitOfWideAndTallPictures();
    void panStopsAtTheEdges();
    void viewDrivenByAUser();
    void drawsSharpAboveAndSmoothBelow();
};

void ZoomTest::stepsAndBounds() {
    ZoomState z;
    z.SetView(800, 600);
    z.SetPicture(1000, 1000);
    QCOMPARE(z.Zoom(), 1.0);
    // Every step in is the square root of two, up to 32 and no further.
    for (int step = 1; step <= ZoomState::kMaxStep; ++step) {
        z.ZoomBy(1, 400, 300);
        QVERIFY(std::abs(z.Zoom() - std::exp2(step / 2.0)) < 1e-9);
    }
    z.ZoomBy(1, 400, 300);
    QCOMPARE(z.Zoom(), 32.0);
    z.ActualSize();
    z.ZoomBy(-30, 400, 300);
    QVERIFY(std::abs(z.Zoom() - 1.0 / 32) < 1e-12);
    // From a fit between steps, one step goes to the next step either way.
    z.SetPicture(1000, 700); // fit: 0.8
    z.Fit();
    QVERIFY(std::abs(z.Zoom() - 0.8) < 1e-12);
    z.ZoomBy(1, 400, 300);
    QVERIFY(std::abs(z.Zoom() - 1.0) < 1e-9);
    z.Fit();
    z.ZoomBy(-1, 400, 300);
    QVERIFY(std::abs(z.Zoom() - std::sqrt(0.5)) < 1e-9);
    // F goes to the fit and back to actual size.
    z.ToggleFit();
    QVERIFY(z.Fitted());
    z.ToggleFit();
    QCOMPARE(z.Zoom(), 1.0);
    QVERIFY(!z.Fitted());
}

void ZoomTest::anchorPointStays() {
    struct Row {
        double anchorX, anchorY;
        int steps;
    };
    const Row rows[] = {{100, 100, 1}, {700, 50, 3}, {400, 300, -1}, {10, 590, 2}, {555, 222, 6}};
    for (const Row& r : rows) {
        ZoomState z;
        z.SetView(800, 600);
        z.SetPicture(4000, 3000);
        z.PanTo(-1200, -900); // somewhere in the middle
        const double x = z.PictureX(r.anchorX), y = z.PictureY(r.anchorY);
        z.ZoomBy(r.steps, r.anchorX, r.anchorY);
        QVERIFY2(std::abs(z.PictureX(r.anchorX) - x) < 1e-6, qPrintable(QString::number(r.steps)));
        QVERIFY(std::abs(z.PictureY(r.anchorY) - y) < 1e-6);
    }
    // Near an edge the edge wins: no gap opens to keep the point.
    ZoomState z;
    z.SetView(800, 600);
    z.SetPicture(4000, 3000);
    z.ZoomBy(-1, 0, 0);
    QCOMPARE(z.OriginX(), 0.0);
    QCOMPARE(z.OriginY(), 0.0);
}

void ZoomTest::fitOfWideAndTallPictures() {
    struct Row {
        int w, h;
        double zoom, originX, originY;
    };
    const Row rows[] = {
        {4000, 1000, 0.2, 0, 200},    // wide: the width fills, centred up and down
        {1000, 4000, 0.15, 325, 0},   // tall: the height fills, centred across
        {400, 300, 2.0, 0, 0},        // small: enlarged to fill
        {1, 1, 32, 384, 284},         // tiny: no more than 32 times
        {100000, 10, 1.0 / 32, 0, 0}, // a strip: no less than 1/32
        {8000, 6000, 0.1, 0, 0},      // the same shape as the view
    };
    for (const Row& r : rows) {
        ZoomState z;
        z.SetView(800, 600);
        z.SetPicture(r.w, r.h);
        z.Fit();
        QVERIFY2(std::abs(z.Zoom() - r.zoom) < 1e-9, qPrintable(QString::number(r.w)));
        if (r.w != 100000) {
            QVERIFY(std::abs(z.OriginX() - r.originX) < 1e-9);
            QVERIFY(std::abs(z.OriginY() - r.originY) < 1e-9);
        }
        // A fitted picture is fitted anew when the view changes size.
        z.SetView(400, 300);
        QVERIFY(z.Fitted());
        if (r.w != 100000) QVERIFY(z.ShownWidth() <= 400 + 1e-9 && z.ShownHeight() <= 300 + 1e-9);
    }
}

void ZoomTest::panStopsAtTheEdges() {
    ZoomState z;
    z.SetView(800, 600);
    z.SetPicture(2000, 1000);
    // Larger: opens from its top-left corner, moves as far as its far edges.
    QCOMPARE(z.OriginX(), 0.0);
    z.PanBy(-5000, -5000);
    QCOMPARE(z.OriginX(), -1200.0);
    QCOMPARE(z.OriginY(), -400.0);
    z.PanBy(100000, 100000);
    QCOMPARE(z.OriginX(), 0.0);
    QCOMPARE(z.OriginY(), 0.0);
    // Smaller on a side: centred on that side, whatever the pan.
    z.SetPicture(300, 1000);
    z.PanBy(-50, -50);
    QCOMPARE(z.OriginX(), 250.0);
    QCOMPARE(z.OriginY(), -50.0);
    // A view resized keeps the point at its centre.
    z.SetPicture(4000, 4000);
    z.PanTo(-1000, -1000);
    const double cx = z.PictureX(400), cy = z.PictureY(300);
    z.SetView(600, 400);
    QVERIFY(std::abs(z.PictureX(300) - cx) < 1e-9);
    QVERIFY(std::abs(z.PictureY(200) - cy) < 1e-9);
    // No picture: nothing moves, nothing breaks.
    ZoomState none;
    none.SetView(800, 600);
    none.ZoomBy(3, 10, 10);
    none.PanBy(5, 5);
    none.Fit();
    QVERIFY(std::isfinite(none.OriginX()));
}

namespace {
StdPicture Checker(int w, int h) {
    auto p = std::make_shared<cDIB>();
    p->Create(w, h, 32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            reinterpret_cast<uint32_t*>(p->lpBits() + std::size_t(y) * p->BytesPerScanline())[x] =
                ((x + y) & 1) ? 0xFFFFFF : 0x000000;
    return p;
}
} // namespace

void ZoomTest::viewDrivenByAUser() {
    ZoomView view;
    view.resize(800, 600);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.SetPicture(Checker(3000, 2000));
    QCOMPARE(view.State().Zoom(), 1.0);
    QSignalSpy steps(&view, &ZoomView::StepRequested);
    int escapes = 0;
    connect(&view, &ZoomView::KeyPress, this, [&escapes](int16_t& k) { escapes += k == 27; });
    QTest::keyClick(&view, Qt::Key_F);
    QVERIFY(view.State().Fitted());
    QVERIFY(view.IndicatorVisible());
    QVERIFY(view.ZoomText().startsWith(QStringLiteral("Fit")));
    QTest::keyClick(&view, Qt::Key_1);
    QCOMPARE(view.State().Zoom(), 1.0);
    QCOMPARE(view.ZoomText(), QStringLiteral("100 %"));
    QTest::keyClick(&view, Qt::Key_Plus);
    QTest::keyClick(&view, Qt::Key_Plus);
    QCOMPARE(view.State().Zoom(), 2.0);
    QTest::keyClick(&view, Qt::Key_0, Qt::ControlModifier);
    QCOMPARE(view.State().Zoom(), 1.0);
    // Arrows and a drag move the picture; the bars follow.
    QTest::keyClick(&view, Qt::Key_Right);
    QVERIFY(view.State().OriginX() < 0);
    QCOMPARE(view.horizontalScrollBar()->value(), int(-view.State().OriginX()));
    const double before = view.State().OriginY();
    QTest::mousePress(view.viewport(), Qt::LeftButton, {}, QPoint(400, 300));
    QTest::mouseMove(view.viewport(), QPoint(400, 200));
    QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, QPoint(400, 200));
    QCOMPARE(view.State().OriginY(), before - 100);
    // A scroll bar moved by hand moves the picture.
    view.verticalScrollBar()->setValue(50);
    QCOMPARE(view.State().OriginY(), -50.0);
    // Next and previous, and Esc handed on.
    for (const Qt::Key k : {Qt::Key_PageDown, Qt::Key_Space, Qt::Key_PageUp, Qt::Key_Backspace})
        QTest::keyClick(&view, k);
    QCOMPARE(steps.size(), 4);
    QCOMPARE(steps[0][0].toInt(), 1);
    QCOMPARE(steps[3][0].toInt(), -1);
    QTest::keyClick(&view, Qt::Key_Escape);
    QCOMPARE(escapes, 1);
    // No picture: keys do nothing harmful.
    view.SetPicture(nullptr);
    QTest::keyClick(&view, Qt::Key_F);
    QTest::keyClick(&view, Qt::Key_Plus);
    view.repaint();
}

void ZoomTest::drawsSharpAboveAndSmoothBelow() {
    // A one-pixel checkerboard at 100 % stays a checkerboard; at 400 % each
    // pixel is a 4 x 4 block of one colour; at 50 % it is an even grey.
    ZoomView view;
    view.resize(400, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.SetPicture(Checker(800, 600));
    QImage shot = view.viewport()->grab().toImage();
    QCOMPARE(shot.pixel(10, 10) & 0xFFFFFF, 0x000000u);
    QCOMPARE(shot.pixel(11, 10) & 0xFFFFFF, 0xFFFFFFu);
    view.SetPicture(Checker(800, 600));
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(&view, Qt::Key_Plus);
    QCOMPARE(view.State().Zoom(), 4.0);
    shot = view.viewport()->grab().toImage();
    // Every run of one colour along a row is four pixels long.
    int last = -1, runs = 0;
    for (int x = 1; x < shot.width(); ++x) {
        if (shot.pixel(x, 100) == shot.pixel(x - 1, 100)) continue;
        if (last >= 0) {
            QCOMPARE(x - last, 4);
            ++runs;
        }
        last = x;
    }
    QVERIFY(runs > 50);
    QTest::keyClick(&view, Qt::Key_1);
    QTest::keyClick(&view, Qt::Key_Minus);
    QTest::keyClick(&view, Qt::Key_Minus);
    QCOMPARE(view.State().Zoom(), 0.5);
    shot = view.viewport()->grab().toImage();
    const int grey = qRed(shot.pixel(200, 150));
    QVERIFY2(grey > 100 && grey < 156, qPrintable(QString::number(grey)));
}

QTEST_MAIN(ZoomTest)
#include "test_zoom.moc"
