// The splitter and the progress bar as widgets, off-screen.
#include "controls/Kv_Progbar.h"
#include "controls/Splitter.h"

#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

class ControlsTest : public QObject {
    Q_OBJECT
  private slots:
    void splitterLaysOutInTwips();
    void splitterOrientationReadsBackMinusOne();
    void splitterDragsWithTheLeftButtonOnly();
    void splittersNest();
    void progressBar();

  private:
    // A drag of the bar to `x` pixels inside the splitter (side by side).
    static void Drag(Splitter& s, int x, Qt::MouseButtons held = Qt::LeftButton) {
        QWidget* bar = s.SplitterBar();
        const QPoint inside(bar->width() / 2, bar->height() / 2);
        if (held == Qt::LeftButton) QTest::mousePress(bar, Qt::LeftButton, {}, inside);
        const QPointF to(x - bar->x(), inside.y());
        QMouseEvent move(QEvent::MouseMove, to, bar->mapToGlobal(to), Qt::NoButton, held,
                         Qt::NoModifier);
        QApplication::sendEvent(bar, &move);
        if (held == Qt::LeftButton) QTest::mouseRelease(bar, Qt::LeftButton, {}, to.toPoint());
    }
};

void ControlsTest::splitterLaysOutInTwips() {
    Splitter s;
    QWidget a, b;
    s.resize(600, 100); // 9000 twips wide
    s.show();
    s.SetSplitterWidth(80);
    QSignalSpy resized(&s, &Splitter::Resize);
    s.SetChild1(&a);
    s.SetChild2(&b);
    QCOMPARE(s.SplitPercent(), uint8_t(50));
    QCOMPARE(s.Child1Twips(), QRectF(0, 0, 4460, 1500));
    QCOMPARE(s.BarTwips(), QRectF(4460, 0, 80, 1500));
    QCOMPARE(s.Child2Twips(), QRectF(4540, 0, 4460, 1500));
    QCOMPARE(a.geometry(), QRect(0, 0, 297, 100));
    QCOMPARE(b.geometry(), QRect(303, 0, 297, 100));
    QVERIFY(resized.count() >= 2);
    // A new bar width shows at the next layout, not at once.
    s.SetSplitterWidth(200);
    QCOMPARE(s.BarTwips().width(), 80.0);
    s.resize(601, 100);
    QCOMPARE(s.BarTwips().width(), 200.0);
    // The bar's colour: the button face at rest for 0, black while pressed.
    QCOMPARE(s.BarColor(), Splitter::kButtonFace);
    QTest::mousePress(s.SplitterBar(), Qt::LeftButton);
    QCOMPARE(s.BarColor(), 0u);
    QTest::mouseRelease(s.SplitterBar(), Qt::LeftButton);
    // Shares round halves to even; values above 100 are taken as they are.
    s.SetSplitPercent(37);
    QCOMPARE(s.SplitPercent(), uint8_t(37));
    s.SetSplitPercent(150);
    QCOMPARE(s.Fraction(), 1.5f);
}

void ControlsTest::splitterOrientationReadsBackMinusOne() {
    Splitter s;
    QWidget a, b;
    s.resize(100, 600);
    s.show();
    s.SetSplitterWidth(80);
    s.SetChild1(&a);
    s.SetChild2(&b);
    s.SetOrientation(1);
    QCOMPARE(s.Orientation(), -1);
    QCOMPARE(s.Child1Twips(), QRectF(0, 0, 1500, 4460));
    QCOMPARE(s.Child2Twips(), QRectF(0, 4540, 1500, 4460));
    QCOMPARE(s.SplitterBar()->cursor().shape(), Qt::SizeVerCursor);
    s.SetOrientation(0);
    QCOMPARE(s.Orientation(), 0);
    QCOMPARE(s.Child1Twips().height(), 9000.0);
}

void ControlsTest::splitterDragsWithTheLeftButtonOnly() {
    Splitter s;
    QWidget a, b;
    s.resize(600, 100);
    s.show();
    s.SetSplitterWidth(90);
    s.SetChild1(&a);
    s.SetChild2(&b);
    Drag(s, 450, Qt::RightButton);
    Drag(s, 450, Qt::NoButton);
    QCOMPARE(s.SplitPercent(), uint8_t(50));
    Drag(s, -300); // far left: the smallest share, the child still there
    QCOMPARE(s.Fraction(), Splitter::kMinFraction);
    QCOMPARE(s.SplitPercent(), uint8_t(0));
    QVERIFY(a.width() <= 1);
    Drag(s, 5000); // far right
    QCOMPARE(s.Fraction(), Splitter::kMaxFraction);
    QCOMPARE(s.SplitPercent(), uint8_t(100));
    Drag(s, 300); // the bar's right edge follows the pointer: (4500 - 90) / 9000
    QCOMPARE(s.SplitPercent(), uint8_t(49));
}

void ControlsTest::splittersNest() {
    Splitter outer;
    auto* inner = new Splitter;
    QWidget a, b, c;
    outer.resize(600, 400);
    outer.show();
    inner->SetOrientation(1);
    inner->SetChild1(&a);
    inner->SetChild2(&b);
    outer.SetChild1(inner);
    outer.SetChild2(&c);
    QCOMPARE(inner->height(), 400);
    QCOMPARE(a.width(), inner->width());
    outer.resize(800, 500); // the inner splitter is moved and lays itself out
    QCOMPARE(a.width(), inner->width());
    QCOMPARE(a.height() + b.height() + inner->SplitterBar()->height(), 500);
}

void ControlsTest::progressBar() {
    Kv_Progbar p;
    p.resize(200, 20);
    p.show();
    QCOMPARE(p.Max(), 100);
    p.SetValue(25);
    QVERIFY(!p.picBar->isHidden());
    QCOMPARE(p.picBar->geometry(), QRect(0, 0, 50, 20));
    p.SetBarOffset(1);
    p.SetValue(25);
    QCOMPARE(p.picBar->geometry(), QRect(2, 2, 49, 16));
    p.SetMin(50); // takes no part in drawing
    p.SetBarOffset(0);
    p.SetValue(50);
    QCOMPARE(p.picBar->width(), 100);
    p.SetMax(0); // the width cannot be computed: the bar keeps its size
    p.SetValue(10);
    QCOMPARE(p.picBar->width(), 100);
    p.SetBarstyle(5);
    p.SetValue(0); // hidden, whatever the style
    QVERIFY(p.picBar->isHidden());
    p.SetMax(100);
    p.SetValue(-10); // a negative width is refused
    QCOMPARE(p.picBar->width(), 100);
    p.SetBorderStyle(9); // outside the table: no edge, no failure
    p.repaint();
    p.resize(300, 20);
    QCOMPARE(p.picBar->pos(), QPoint(0, 0));
}

QTEST_MAIN(ControlsTest)
#include "test_controls.moc"
