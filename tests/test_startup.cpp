// Start-up as the user sees it: the splash alone for its delay, then the main
// window at the stored size; the program ends when the main window closes.
#include "app/CommandLine.h"
#include "app/fMain.h"
#include "app/mSetup.h"
#include "app/mSetupUi.h"
#include "app/mStartup.h"
#include "browse/mDirTreeview.h"
#include "controls/fSplash.h"
#include "platform/Termination.h"
#include "tests/TempDir.h"
#include "tests/WindowControls.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QScopeGuard>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <future>
#include <thread>

class StartupTest : public QObject {
    Q_OBJECT
  private slots:
    void mainWindowShowsOnlyAfterTheSplashIsReady();
    void splashClosedEarlyCountsAsReady();
    void splashKeepsItsLabelsCentred();
    void layoutComesBackExactlyRoundAfterRound();
    void aFirstStartOpensThePicturesFolder();
    void oversizedStoredWindowFitsTheScreen();
    void theCommandLineFileIsChosenAndABadPathSaysSo();
    void signalSavesOnceAndEnds_data();
    void signalSavesOnceAndEnds();
    void signalBeforeTheWindowEndsWithoutSaving();
    void signalFloodNeitherBlocksNorChangesErrno();
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

// What the window shows once it is up, read from inside the program's loop.
class StatusReader : public QObject {
  public:
    QString panel1, panel3;
    int selectedRow = -2;
    bool eventFilter(QObject* o, QEvent* e) override {
        auto* main = qobject_cast<fMain*>(o);
        if (e->type() == QEvent::Show && main) {
            QTimer::singleShot(600, main, [this, main] {
                panel1 = Control<StatusPanels>(main, "sbInfo")->Text(1);
                panel3 = Control<StatusPanels>(main, "sbInfo")->Text(3);
                selectedRow = Control<FileListView>(main, "lvFiles")->SelectedRow();
                main->AskExit = [] { return true; };
                main->close();
            });
        }
        return false;
    }
};

// `vantrel FOLDER/FILE`: that row chosen, in view and previewed, far down a
// long list; a path that cannot be used says so in the window.
void StartupTest::theCommandLineFileIsChosenAndABadPathSaysSo() {
    QTemporaryDir dir;
    for (int i = 0; i < 300; ++i)
        QFile(dir.filePath(QStringLiteral("a%1.png").arg(i, 3, 10, QLatin1Char('0'))))
            .open(QIODevice::WriteOnly);
    QImage picture(8, 6, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QVERIFY(picture.save(dir.filePath(QStringLiteral("zz.png")), "PNG"));
    mSetup::SetSettingsFolder(dir.path().toStdString());
    SetupRecord setup;
    const std::string file = dir.filePath(QStringLiteral("zz.png")).toStdString();
    const std::string missing = dir.filePath(QStringLiteral("no/such.png")).toStdString();
    for (const std::string& arg : {file, missing}) {
        const char* argv[] = {arg.c_str()};
        const StartRequest request = ParseCommandLine(1, argv);
        StatusReader reader;
        qApp->installEventFilter(&reader);
        mStartup::Main(setup, request);
        qApp->removeEventFilter(&reader);
        if (arg == file) {
            QCOMPARE(reader.selectedRow, 300);
            QCOMPARE(reader.panel1, QStringLiteral("zz.png"));
        } else {
            QVERIFY2(reader.panel1.contains(QString::fromLatin1(std::strerror(ENOENT))),
                     qPrintable(reader.panel1));
        }
    }
}

void StartupTest::mainWindowShowsOnlyAfterTheSplashIsReady() {
    QTemporaryDir dir;
    SetupRecord stored = mSetup::Defaults();
    stored.MainWidth = 12000; // 800 pixels
    stored.MainHeight = 9000; // 600 pixels
    stored.LastPath = "  " + dir.path().toStdString() + "  ";
    const auto file = std::filesystem::path(dir.path().toStdString()) / "ipsetup.dat";
    QVERIFY(mSetup::SaveSettings(stored, file));
    mSetup::SetSettingsFolder(dir.path().toStdString());
    SetupRecord setup;

    ShowWatcher watcher;
    watcher.clock.start();
    qApp->installEventFilter(&watcher);
    mStartup::Main(setup); // returns once the watcher has closed the main window
    qApp->removeEventFilter(&watcher);

    QVERIFY(watcher.mainShown);
    QVERIFY(watcher.splashExisted);
    QVERIFY(watcher.splashReadyAtShow);
    QVERIFY2(watcher.msAtShow >= fSplash::kDelayMs - 50,
             qPrintable(QString::number(watcher.msAtShow)));
    QCOMPARE(watcher.sizeAtShow, QSize(800, 600));
    // The listed folder was the trimmed stored path, and exit stored the size.
    const SetupRecord written = mSetup::LoadSettings(file, [] {});
    QCOMPARE(QString::fromStdString(written.LastPath), dir.path());
    QCOMPARE(written.MainWidth, 12000);
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
// Starts the program with its settings file in `dir` (there or not), lets
// the main window close once shown, and returns the record the exit wrote,
// with the size the window opened at (none when it never showed).
SetupRecord StartAndClose(const QTemporaryDir& dir, QSize* opened = nullptr) {
    const auto file = std::filesystem::path(dir.path().toStdString()) / "ipsetup.dat";
    mSetup::SetSettingsFolder(dir.path().toStdString());
    SetupRecord setup;
    ShowWatcher watcher;
    watcher.clock.start();
    qApp->installEventFilter(&watcher);
    mStartup::Main(setup);
    qApp->removeEventFilter(&watcher);
    if (opened) *opened = watcher.sizeAtShow;
    return mSetup::LoadSettings(file, [] {});
}

// The same on `stored`, written to the settings file first.
SetupRecord RunOnce(const QTemporaryDir& dir, const SetupRecord& stored, QSize* opened = nullptr) {
    mSetup::SaveSettings(stored, std::filesystem::path(dir.path().toStdString()) / "ipsetup.dat");
    return StartAndClose(dir, opened);
}
} // namespace

void StartupTest::aFirstStartOpensThePicturesFolder() {
    // No settings file: the folder the desktop's user dirs name for pictures
    // is where a new user starts, and the end writes it as the stored path.
    QTemporaryDir dir;
    const QString pictures = dir.filePath(QStringLiteral("My Pictures"));
    QVERIFY(QDir().mkpath(pictures));
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("config"))));
    QFile dirs(dir.filePath(QStringLiteral("config/user-dirs.dirs")));
    QVERIFY(dirs.open(QIODevice::WriteOnly));
    dirs.write("XDG_PICTURES_DIR=\"" + QFile::encodeName(pictures) + "\"\n");
    dirs.close();
    const QByteArray configBefore = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("config"))));
    const auto restore = qScopeGuard([&] { qputenv("XDG_CONFIG_HOME", configBefore); });
    QCOMPARE(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation), pictures);

    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("ipsetup.dat"))));
    QSize opened;
    const SetupRecord written = StartAndClose(dir, &opened);
    QVERIFY(opened.isValid()); // the window showed
    QCOMPARE(QString::fromStdString(written.LastPath), pictures);
}

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

namespace {
// Raises a real signal when a chosen window first shows: the splash (the
// request arrives while it shows) or the folder tree (no event runs between
// the tree showing and the first listing's own event pump, so the request is
// handled inside the listing). A main window shown after the signal ends the
// folder tree's loop, so that a program that goes on is a failure, not a hang.
class SignalAtShow : public QObject {
  public:
    enum class At { Splash, Tree };
    At at = At::Splash;
    int signal = SIGTERM;
    int times = 1;
    bool raised = false;
    bool mainShownAfter = false;
    QElapsedTimer sinceRaised;
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() != QEvent::Show) return false;
        const bool target = at == At::Splash ? qobject_cast<fSplash*>(o) != nullptr
                                             : o->objectName() == QLatin1String("folderTree");
        if (target && !raised) {
            raised = true;
            sinceRaised.start();
            for (int i = 0; i < times; ++i)
                ::raise(signal);
        }
        if (auto* main = qobject_cast<fMain*>(o); main && raised && !mainShownAfter) {
            mainShownAfter = true;
            // The window may count as closed already: the loop is ended directly.
            QTimer::singleShot(0, main, [main] { mDirTreeview::CloseFolderTree(main->State()); });
        }
        return false;
    }
};
} // namespace

void StartupTest::signalSavesOnceAndEnds_data() {
    QTest::addColumn<int>("at");
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("times");
    constexpr int splash = int(SignalAtShow::At::Splash), tree = int(SignalAtShow::At::Tree);
    QTest::newRow("SIGTERM during the splash") << splash << SIGTERM << 1;
    QTest::newRow("SIGHUP twice during the splash") << splash << SIGHUP << 2;
    QTest::newRow("SIGTERM during the first listing") << tree << SIGTERM << 1;
    QTest::newRow("SIGINT during the first listing") << tree << SIGINT << 1;
    QTest::newRow("SIGHUP twice during the first listing") << tree << SIGHUP << 2;
}

void StartupTest::signalSavesOnceAndEnds() {
    QFETCH(int, at);
    QFETCH(int, signal);
    QFETCH(int, times);
    TempDir dir;
    constexpr int kPictures = 2000;
    const auto pictures = dir.path() / "pictures";
    std::filesystem::create_directory(pictures);
    for (int i = 0; i < kPictures; ++i)
        dir.Write("pictures/p" + std::to_string(i) + ".png", "");
    SetupRecord stored = mSetup::Defaults();
    stored.MainWidth = 10500;
    stored.MainHeight = 7500;
    stored.LastPath = pictures.string();
    stored.MainWindowState = 7; // no state of ours: a save at the end writes a normal window
    const auto file = dir.path() / "ipsetup.dat";
    QVERIFY(mSetup::SaveSettings(stored, file));
    mSetup::SetSettingsFolder(dir.path());
    SetupRecord setup;

    SignalAtShow watcher;
    watcher.at = SignalAtShow::At(at);
    watcher.signal = signal;
    watcher.times = times;
    qApp->installEventFilter(&watcher);
    mStartup::Main(setup); // returns when the program has ended
    qApp->removeEventFilter(&watcher);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    QVERIFY(watcher.raised);
    if (watcher.at == SignalAtShow::At::Splash) {
        QVERIFY2(!watcher.mainShownAfter, "the main window showed after the program was ended");
        // The splash's delay is not waited out: counted from the signal, since
        // the start before it may take long on a busy machine.
        QVERIFY(watcher.sinceRaised.elapsed() < fSplash::kDelayMs);
    }
    const SetupRecord written = mSetup::LoadSettings(file, [] {});
    QCOMPARE(written.MainWindowState, mSetup::kWindowNormal);
    QCOMPARE(written.MainWidth, stored.MainWidth);
    QCOMPARE(written.HSplitPercent, stored.HSplitPercent);
    QCOMPARE(written.VSplitPercent, stored.VSplitPercent);
    QCOMPARE(QString::fromStdString(written.LastPath), QString::fromStdString(stored.LastPath));
    for (QWidget* w : QApplication::topLevelWidgets())
        QVERIFY(!w->isVisible());
}

void StartupTest::signalBeforeTheWindowEndsWithoutSaving() {
    // As early as the program can be reached: waiting when start-up begins.
    TempDir dir;
    SetupRecord stored = mSetup::Defaults();
    stored.MainWindowState = 7; // a save would write a normal window
    stored.LastPath = dir.str();
    const auto file = dir.path() / "ipsetup.dat";
    QVERIFY(mSetup::SaveSettings(stored, file));
    mSetup::SetSettingsFolder(dir.path());
    SetupRecord setup;
    SignalAtShow watcher; // raises nothing: only watches for a main window
    watcher.raised = true;
    Termination::CatchSignals();
    ::raise(SIGTERM);
    qApp->installEventFilter(&watcher);
    mStartup::Main(setup);
    qApp->removeEventFilter(&watcher);
    QVERIFY(!watcher.mainShownAfter);
    QVERIFY(mSetup::LoadSettings(file, [] {}) == stored);
}

void StartupTest::signalFloodNeitherBlocksNorChangesErrno() {
    // Far more signals than the socket between the handler and the loop holds,
    // with no event handled meanwhile.
    constexpr int kSignals = 100000;
    constexpr int kLimitMs = 10000;
    int calls = 0;
    Termination::OnTerminate([&] { ++calls; });
    std::atomic<int> errnoChanged = 0;
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    std::thread flood([&] {
        for (int i = 0; i < kSignals; ++i) {
            errno = EDOM;
            ::raise(SIGTERM); // to this thread: the handler runs here
            if (errno != EDOM) ++errnoChanged;
        }
        done.set_value();
    });
    if (finished.wait_for(std::chrono::milliseconds(kLimitMs)) != std::future_status::ready) {
        flood.detach(); // blocked in the signal handler: nothing can end it
        QFAIL("the signal handler blocked");
    }
    flood.join();
    QCOMPARE(errnoChanged.load(), 0);
    // The loop sees the requests; many waiting at once end in one call.
    QTRY_COMPARE(calls, 1);
    // Every byte was written before the flood ended: a byte the first call
    // left unread makes the socket readable now, and the next pass of the
    // loop, which polls without waiting, would call again.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    QCOMPARE(calls, 1);
    Termination::OnTerminate(nullptr);
}

QTEST_MAIN(StartupTest)
#include "test_startup.moc"
