// A picture shown turned and flipped while its file stays as it is: turns
// compose as a person sees them, the preview pane's box takes the turned
// size and is shown turned pixel for pixel, and the full view's image view
// shows the turned picture (a fit stays a fit) until another picture comes.
#include "viewers/PicturePane.h"
#include "viewers/ViewTurn.h"
#include "viewers/ZoomView.h"

#include <QSignalSpy>
#include <QTest>
#include <vector>

namespace {

// Every pixel a colour of its own: its place can be read back from it.
QRgb ColourAt(int x, int y) {
    return qRgb(8 * x + 3, 8 * y + 5, 0x40);
}

QImage Asymmetric(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, ColourAt(x, y));
    return image;
}

// One turn done by hand, pixel by pixel: the reference.
QImage ByHand(const QImage& in, Turn turn) {
    const int w = in.width(), h = in.height();
    const bool sideways = turn == Turn::Left || turn == Turn::Right;
    QImage out(sideways ? h : w, sideways ? w : h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const QRgb c = in.pixel(x, y);
            switch (turn) {
            case Turn::Right:
                out.setPixel(h - 1 - y, x, c);
                break;
            case Turn::Left:
                out.setPixel(y, w - 1 - x, c);
                break;
            case Turn::Half:
                out.setPixel(w - 1 - x, h - 1 - y, c);
                break;
            case Turn::FlipHorizontal:
                out.setPixel(w - 1 - x, y, c);
                break;
            case Turn::FlipVertical:
                out.setPixel(x, h - 1 - y, c);
                break;
            }
        }
    return out;
}

bool SamePixels(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return false;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if ((a.pixel(x, y) & 0xFFFFFF) != (b.pixel(x, y) & 0xFFFFFF)) return false;
    return true;
}

StdPicture Picture(const QImage& image) {
    auto p = std::make_shared<cDIB>();
    p->Create(image.width(), image.height(), 32);
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(p->lpBits() + std::size_t(y) * p->BytesPerScanline(), image.constScanLine(y),
                    std::size_t(image.width()) * 4);
    return p;
}

// Draws `image` into the box at its top-left corner (the box is its size).
void Fill(PictureBox& box, const QImage& image) {
    const cDIB& s = box.Surface();
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(s.lpBits() + std::size_t(y) * s.BytesPerScanline(), image.constScanLine(y),
                    std::size_t(image.width()) * 4);
}

} // namespace

class ViewTurnTest : public QObject {
    Q_OBJECT
  private slots:
    void turnsComposeAsSeen();
    void paneShowsItsBoxTurned();
    void fullViewShowsThePictureTurned();
};

void ViewTurnTest::turnsComposeAsSeen() {
    // Each sequence of turns, done by hand one after the other, equals the
    // one view turn they compose to.
    const std::vector<std::vector<Turn>> rows = {
        {Turn::Right},
        {Turn::Left},
        {Turn::Half},
        {Turn::FlipHorizontal},
        {Turn::FlipVertical},
        {Turn::Right, Turn::FlipHorizontal},
        {Turn::FlipHorizontal, Turn::Right},
        {Turn::Left, Turn::FlipVertical},
        {Turn::FlipVertical, Turn::Left, Turn::Left},
        {Turn::Right, Turn::FlipHorizontal, Turn::Right, Turn::FlipVertical, Turn::Half},
        {Turn::Right, Turn::Right, Turn::Right, Turn::Right},
        {Turn::FlipHorizontal, Turn::FlipHorizontal},
    };
    const QImage picture = Asymmetric(5, 3);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        QImage expected = picture;
        ViewTurn turn;
        for (Turn t : rows[r]) {
            expected = ByHand(expected, t);
            turn = turn.Then(t);
        }
        QVERIFY2(turn.quarters >= 0 && turn.quarters < 4, qPrintable(QString::number(r)));
        QVERIFY2(SamePixels(TurnedImage(picture, turn), expected), qPrintable(QString::number(r)));
    }
    // Four right turns, or two mirrors, are upright again.
    QVERIFY(ViewTurn().Then(Turn::FlipHorizontal).Then(Turn::FlipHorizontal).Upright());
    QCOMPARE(ViewTurn({5, false}).Normal(), ViewTurn({1, false}));
    QCOMPARE(ViewTurn({-1, true}).Normal(), ViewTurn({3, true}));
}

void ViewTurnTest::paneShowsItsBoxTurned() {
    PicturePane pane;
    pane.resize(40, 24);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    QSignalSpy resized(&pane, &PicturePane::resized);
    const ViewTurn turns[] = {{1, false}, {1, true}, {2, false}, {3, true}, {0, true}, {0, false}};
    for (const ViewTurn& turn : turns) {
        const int before = int(resized.count());
        const bool traded = turn.Sideways() != pane.GetViewTurn().Sideways();
        pane.SetViewTurn(turn);
        // A quarter turn gives the box the pane's height as its width, and
        // asks for the picture to be drawn into it again.
        QCOMPARE(int(resized.count()) - before, traded ? 1 : 0);
        const QSize box(pane.Box().Width(), pane.Box().Height());
        QCOMPARE(box, turn.Sideways() ? QSize(24, 40) : QSize(40, 24));
        const QImage drawn = Asymmetric(box.width(), box.height());
        Fill(pane.Box(), drawn);
        const QImage shot = pane.grab().toImage();
        QCOMPARE(shot.size(), QSize(40, 24));
        QVERIFY2(SamePixels(shot, TurnedImage(drawn, turn)),
                 qPrintable(QStringLiteral("%1 %2").arg(turn.quarters).arg(turn.flipped)));
    }
    // A turn the pane shows already changes nothing.
    const int before = int(resized.count());
    pane.SetViewTurn({4, false});
    QCOMPARE(int(resized.count()), before);
}

void ViewTurnTest::fullViewShowsThePictureTurned() {
    ZoomView view;
    view.resize(200, 150);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    const QImage picture = Asymmetric(30, 20);
    view.SetPicture(Picture(picture));
    // A quarter turn right: 20 x 30 at actual size, centred in the view.
    view.SetViewTurn(ViewTurn().Then(Turn::Right));
    QImage shot = view.viewport()->grab().toImage();
    QVERIFY(SamePixels(shot.copy(90, 60, 20, 30), ByHand(picture, Turn::Right)));
    QCOMPARE(shot.pixel(89, 60) & 0xFFFFFF, 0u); // the back colour beside it
    // Fitted, a turn keeps the fit: 20 x 30 grows to fill the view's height.
    QTest::keyClick(&view, Qt::Key_F);
    QVERIFY(view.State().Fitted());
    view.SetViewTurn(ViewTurn().Then(Turn::FlipVertical));
    QVERIFY(view.State().Fitted());
    QCOMPARE(view.State().ShownWidth(), 200.0);
    QCOMPARE(view.State().ShownHeight(), 200.0 * 20 / 30);
    // Another picture comes upright, at actual size.
    view.SetPicture(Picture(picture));
    QVERIFY(view.GetViewTurn().Upright());
    QVERIFY(!view.State().Fitted());
    view.findChild<QLabel*>()->hide(); // the zoom F showed, over the picture for a moment
    shot = view.viewport()->grab().toImage();
    QVERIFY(SamePixels(shot.copy(85, 65, 30, 20), picture));
}

QTEST_MAIN(ViewTurnTest)
#include "test_view_turn.moc"
