// The view turn in the real main window: turned a quarter, the preview pane
// draws the chosen picture again fitted to the turned pane (a wide picture
// stands tall, as large as the pane allows it), its left side on top; set
// upright, it lies as before.
#include "MainWindowFixture.h"
#include "tests/WindowControls.h"

namespace {
constexpr QRgb kLeft = 0xFF0000, kRight = 0x0000FF;

bool Near(QRgb a, QRgb b) {
    return MaxDifference(a & 0xFFFFFF, b & 0xFFFFFF) < 16;
}

// The extent of the pixels that are not the pane's grey, through the middle
// row and the middle column of a shot.
QSize PictureExtent(const QImage& shot) {
    int w = 0, h = 0;
    for (int x = 0; x < shot.width(); ++x)
        w += (shot.pixel(x, shot.height() / 2) & 0xFFFFFF) != 0xE0E0E0;
    for (int y = 0; y < shot.height(); ++y)
        h += (shot.pixel(shot.width() / 2, y) & 0xFFFFFF) != 0xE0E0E0;
    return {w, h};
}
} // namespace

class ViewTurnWindowTest : public MainWindowFixture {
    Q_OBJECT
  private slots:
    void init() {
        // Wide: red on the left half, blue on the right.
        QImage wide(600, 200, QImage::Format_RGB32);
        wide.fill(kRight);
        for (int y = 0; y < wide.height(); ++y)
            for (int x = 0; x < wide.width() / 2; ++x)
                wide.setPixel(x, y, kLeft);
        Make(QStringLiteral("wide.png"), wide, "PNG");
        OpenWindow();
    }
    void cleanup() { CloseWindow(); }
    void paneDrawsThePictureTurned();
};

void ViewTurnWindowTest::paneDrawsThePictureTurned() {
    Choose(QStringLiteral("wide.png"));
    auto* pane = Control<PicturePane>(main_, "imgPane");
    const QSize upright = FittedInPane(600, 200);
    QCOMPARE(PictureExtent(pane->grab().toImage()), upright);

    pane->SetViewTurn(ViewTurn().Then(Turn::Right));
    WaitForQuiet(); // drawn again, and decoded again for the turned pane
    const QSize turned = FittedInPane(600, 200); // in the turned box
    QVERIFY(turned.width() > upright.width() || turned.width() == 600);
    const QImage shot = pane->grab().toImage();
    QCOMPARE(PictureExtent(shot), turned.transposed());
    const int cx = shot.width() / 2, cy = shot.height() / 2;
    QVERIFY(Near(shot.pixel(cx, cy - turned.width() / 4), kLeft));
    QVERIFY(Near(shot.pixel(cx, cy + turned.width() / 4), kRight));

    pane->SetViewTurn({});
    WaitForQuiet();
    QCOMPARE(PictureExtent(pane->grab().toImage()), upright);
}

QTEST_MAIN(ViewTurnWindowTest)
#include "test_view_turn_window.moc"
