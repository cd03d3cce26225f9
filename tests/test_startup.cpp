// Start-up as the user sees it: the splash alone for its delay, then the main
// window at the stored size; the program ends when the main window closes.
#include "app/fMain.h"
#include "app/mSetup.h"
#include "app/mSetupUi.h"
#include "app/mStartup.h"
#include "controls/fSplash.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class StartupTest : public QObject {
    Q_OBJECT
  private slots:
    void mainWindowShowsOnlyAfterTheSplashIsReady();
    void splashClosedEarlyCountsAsReady();
    void splashKeepsItsLabelsCentred();
    void layoutComesBackExactlyRoundAfterRound();
    void oversizedStoredWindowFitsTheScreen();
};

namespace {
// Watches the main window appear and records what the splash said then.
class ShowWatcher : public QObject {
  public:
    bool mainShown = false;
    bool splashReadyAtShow = false;
    bool splashExisted = false;
    qint64 msAtShow = 0;
    QSize sizeAtShow;
    QElapsedTimer clock;
    bool eventFilter(QObject* o, QEvent* e) override {
        auto* main = qobject_cast<fMain*>(o);
        if (e->type() == QEvent::Show && main && !mainShown) {
            mainShown = true;
            msAtShow = clock.elapsed();
            sizeAtShow = main->size();
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* s = qobject_cast<fSplash*>(w)) {
                    splashExisted = true;
                    splashReadyAtShow = s->ReadyToClose();
                }
            main->AskExit = [] { return true; }; // the exit question answered Yes
            QTimer::singleShot(50, main, &QWidget::close);
        }
        return false;
    }
};
} // namespace

void StartupTest::mainWindowShowsOnlyAfterTheSplashIsReady() {
    QTemporaryDir dir;
    SetupRecord stored = mSetup::Defaults();
    stored.MainWidth = 12000; // 800 pixels
    stored.MainHeight = 9000; // 600 pixels
    stored.LastPath = "  " + dir.path().toStdString() + "  ";
    Setup = stored;
    const auto file = std::filesystem::path(dir.path().toStdString()) / "ipsetup.dat";
    QVERIFY(mSetup::SaveSettings(file));
    mSetup::SetSettingsFolder(dir.path().toStdString());

    ShowWatcher watcher;
    watcher.clock.start();
    qApp->installEventFilter(&watcher);
    mStartup::Main(); // returns once the watcher has closed the main window
    qApp->removeEventFilter(&watcher);

    QVERIFY(watcher.mainShown);
    QVERIFY(watcher.splashExisted);
    QVERIFY(watcher.splashReadyAtShow);
    QVERIFY2(watcher.msAtShow >= fSplash::kDelayMs - 50,
             qPrintable(QString::number(watcher.msAtShow)));
    QCOMPARE(watcher.sizeAtShow, QSize(800, 600));
    // The listed folder was the trimmed stored path, and exit stored the size.
    mSetup::LoadSettings(file, [] {});
    QCOMPARE(QString::fromStdString(Setup.LastPath), dir.path());
    QCOMPARE(Setup.MainWidth, 12000);
    for (QWidget* w : QApplication::topLevelWidgets())
        QVERIFY(!qobject_cast<fSplash*>(w));
}

void StartupTest::splashClosedEarlyCountsAsReady() {
    fSplash splash;
    QCOMPARE(splash.tmrDelay.interval(), fSplash::kDelayMs);
    QVERIFY(splash.tmrDelay.isActive());
    QVERIFY(!splash.ReadyToClose());
    splash.show();
    splash.close();
    QVERIFY(splash.ReadyToClose());
    QVERIFY(!splash.tmrDelay.isActive());
}

void StartupTest::splashKeepsItsLabelsCentred() {
    fSplash splash;
    QCOMPARE(splash.size(), QSize(fSplash::kInnerWidth, fSplash::kInnerHeight));
    splash.setFixedSize(600, 250);
    QResizeEvent resize(splash.size(), QSize(400, 250));
    QApplication::sendEvent(&splash, &resize);
    const QLabel* name = splash.lblprogramname;
    QCOMPARE(name->x(), 600 / 2 - name->width() / 2);
    QCOMPARE(splash.lblLegal->x(), 600 / 2 - splash.lblLegal->width() / 2);
    QCOMPARE(splash.lblcompanyname->x(), name->x());
    QCOMPARE(splash.lblcompanyname->y(), name->y() + name->height() + 5);
    QCOMPARE(splash.lblcompanyname->text().right(11), QStringLiteral(" by Corvane"));
}

namespace {
// Starts the program on `stored`, lets the main window close once shown, and
// returns the record the exit wrote, with the size the window opened at.
SetupRecord RunOnce(const QTemporaryDir& dir, const SetupRecord& stored, QSize* opened = nullptr) {
    Setup = stored;
    const auto file = std::filesystem::path(dir.path().toStdString()) / "ipsetup.dat";
    mSetup::SaveSettings(file);
    mSetup::SetSettingsFolder(dir.path().toStdString());
    ShowWatcher watcher;
    watcher.clock.start();
    qApp->installEventFilter(&watcher);
    mStartup::Main();
    qApp->removeEventFilter(&watcher);
    if (opened) *opened = watcher.sizeAtShow;
    Setup = mSetup::Defaults();
    mSetup::LoadSettings(file, [] {});
    return Setup;
}
} // namespace

void StartupTest::layoutComesBackExactlyRoundAfterRound() {
    // Nothing moved: every field written is the one read, round after round.
    QTemporaryDir dir;
    SetupRecord stored = mSetup::Defaults();
    stored.MainWidth = 10500; // 700 x 500 pixels
    stored.MainHeight = 7500;
    stored.LastPath = dir.path().toStdString();
    const uint8_t shares[][2] = {{50, 50}, {30, 61}, {1, 100}};
    for (const auto& share : shares) {
        stored.HSplitPercent = share[0];
        stored.VSplitPercent = share[1];
        SetupRecord record = stored;
        for (int round = 0; round < 2; ++round) {
            const SetupRecord written = RunOnce(dir, record);
            QCOMPARE(int(written.HSplitPercent), int(share[0]));
            QCOMPARE(int(written.VSplitPercent), int(share[1]));
            QVERIFY(written == stored);
            record = written;
        }
    }
}

void StartupTest::oversizedStoredWindowFitsTheScreen() {
    QTemporaryDir dir;
    SetupRecord stored = mSetup::Defaults();
    stored.MainWidth = stored.MainHeight = 32767;
    stored.LastPath = dir.path().toStdString();
    QSize opened;
    RunOnce(dir, stored, &opened);
    const QSize screen = QGuiApplication::primaryScreen()->availableGeometry().size();
    QVERIFY2(opened.width() <= screen.width() && opened.height() <= screen.height(),
             qPrintable(QStringLiteral("%1x%2").arg(opened.width()).arg(opened.height())));
}

QTEST_MAIN(StartupTest)
#include "test_startup.moc"
