// What goes wrong is shown to the user, in the real main window off-screen:
// a file that does not decode in the full view, the error of a file that
// cannot be read, reasons too long for their status panel, a desktop without
// a program to open a file or an address, and a folder that went and came
// back. Each wait is for the event that means done: a widget shown or
// hidden, a listing's end.
#include "MainWindowFixture.h"
#include "platform/Product.h"
#include "tests/WindowControls.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QMessageBox>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sys/wait.h>

namespace {

// Far above what any machine takes: only a broken build runs into it.
constexpr int kLimitMs = 60000;

// Runs the event loop until `watched` gets an event of `type`.
class EventWait : public QObject {
  public:
    EventWait(QObject* watched, QEvent::Type type) : type_(type) {
        watched->installEventFilter(this);
    }
    bool Wait() {
        if (!seen_) {
            QTimer::singleShot(kLimitMs, &loop_, &QEventLoop::quit);
            loop_.exec();
        }
        return seen_;
    }

  protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == type_) {
            seen_ = true;
            loop_.quit();
        }
        return false;
    }

  private:
    QEvent::Type type_;
    bool seen_ = false;
    QEventLoop loop_;
};

QByteArray JpegBytes() {
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::yellow);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG");
    return bytes;
}

void Write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

// The message boxes shown now, among the top-level widgets.
QList<QMessageBox*> MessageBoxes() {
    QList<QMessageBox*> boxes;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
            boxes.push_back(box);
    return boxes;
}

// Sets an environment variable for a scope, and puts back what it was.
class EnvironmentGuard {
  public:
    EnvironmentGuard(const char* name, const QByteArray& value)
        : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {
        value.isNull() ? qunsetenv(name) : qputenv(name, value);
    }
    ~EnvironmentGuard() { had_ ? qputenv(name_, old_) : qunsetenv(name_); }

  private:
    const char* name_;
    bool had_;
    QByteArray old_;
};

} // namespace

class FailuresShownTest : public MainWindowFixture {
    Q_OBJECT
  private slots:
    void initTestCase() { MakeFolder(); }
    void init() { OpenWindow(); }
    void cleanup() { CloseWindow(); }
    void fullViewShowsAFailureNeverThePictureBefore_data();
    void fullViewShowsAFailureNeverThePictureBefore();
    void statusSaysTheErrorOfTheFile();
    void reasonsAreReadableWhole();
    void missingOpenersAreSaid();
    void folderMadeAgainIsListedAgain_data();
    void folderMadeAgainIsListedAgain();

  private:
    // Runs the event loop until `done` holds, looking each time the list
    // reports rows, a listing's end or a change on disk.
    bool WaitForList(const std::function<bool()>& done);
};

void FailuresShownTest::fullViewShowsAFailureNeverThePictureBefore_data() {
    QTest::addColumn<QString>("from");   // shown first in the full view
    QTest::addColumn<QString>("to");     // the next row, which fails
    QTest::addColumn<QString>("reason"); // what the full view says
    const QString failed = QString::fromLatin1(cPreviewCore::kFailedText);
    QTest::newRow("JPEG XL onto a damaged JPEG") << "a.jxl"
                                                 << "b.jpg" << failed;
    QTest::newRow("a still onto a damaged GIF") << "a.png"
                                                << "b.gif" << failed;
    QTest::newRow("a GIF onto a damaged still") << "a.gif"
                                                << "b.jpg" << failed;
    // Read ahead before it went: its picture shows at once, and the folder
    // then says it went.
    QTest::newRow("a still onto a file that went")
        << "a.png"
        << "b.png" << QString::fromLatin1(cPreviewCore::kRemovedText);
}

void FailuresShownTest::fullViewShowsAFailureNeverThePictureBefore() {
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, reason);
    QTemporaryDir folder;
    QImage picture(300, 200, QImage::Format_RGB32); // fits the pane: shown whole at once
    picture.fill(Qt::magenta);
    const QString png = folder.filePath(QStringLiteral("source.png"));
    QVERIFY(picture.save(png, "PNG"));
    if (from.endsWith(QStringLiteral(".jxl"))) {
        const QString cjxl = QStandardPaths::findExecutable(QStringLiteral("cjxl"));
        QVERIFY2(!cjxl.isEmpty(), "cjxl (libjxl-tools) is installed by scripts/setup.sh");
        QProcess encoder;
        encoder.start(cjxl,
                      {png, folder.filePath(from), QStringLiteral("-d"), QStringLiteral("0")});
        QVERIFY(encoder.waitForFinished(kLimitMs) && encoder.exitCode() == 0);
    } else if (from.endsWith(QStringLiteral(".gif"))) {
        const QString saved = dir_.filePath(QStringLiteral("single.gif"));
        QVERIFY(QFile::copy(saved, folder.filePath(from)));
    } else {
        QVERIFY(QFile::copy(png, folder.filePath(from)));
    }
    QVERIFY(QFile::remove(png));
    if (to.endsWith(QStringLiteral(".jpg")))
        Write(folder.filePath(to), JpegBytes().left(20)); // cut inside its first segment
    else if (to.endsWith(QStringLiteral(".gif")))
        Write(folder.filePath(to), QByteArrayLiteral("GIF89a\x20"));
    else
        Write(folder.filePath(to), JpegBytes()); // a good file, gone by the step
    Open(folder.path());
    Choose(from);
    QTest::keyClick(Control<FileListView>(main_, "lvFiles")->ReportView(), Qt::Key_Return);
    QPointer<fFullview> f = main_->OpenFullView();
    QVERIFY(f && f->isVisible());
    const bool gif = from.endsWith(QStringLiteral(".gif"));
    QVERIFY(gif ? f->ucGIFView->isVisible() : f->imView->Shown() != nullptr);

    if (reason != QString::fromLatin1(cPreviewCore::kFailedText))
        QVERIFY(QFile::remove(folder.filePath(to)));
    EventWait failureShown(f->lblFailure, QEvent::Show);
    QTest::keyClick(f->imView, Qt::Key_PageDown);
    QVERIFY(failureShown.Wait());
    QVERIFY(f->isVisible());
    QCOMPARE(f->lblFailure->text(), to + QLatin1Char('\n') + reason);
    QCOMPARE(f->imView->Shown(), nullptr);
    QVERIFY(!f->ucGIFView->isVisible());
    QVERIFY(!f->ucGIFView->GIFLoaded()); // and none comes back on a resize
    QCOMPARE(Panel(1), to);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);

    // Back to the picture before: it replaces the failure.
    EventWait failureHidden(f->lblFailure, QEvent::Hide);
    QTest::keyClick(f->imView, Qt::Key_PageUp);
    QVERIFY(failureHidden.Wait());
    QVERIFY(gif ? f->ucGIFView->isVisible() : f->imView->Shown() != nullptr);
}

void FailuresShownTest::statusSaysTheErrorOfTheFile() {
    // A picture decoding in the helper, a helper that died and was reaped
    // already: giving it up meets errors of its own (ESRCH, ECHILD), which
    // are not why the next file cannot be read.
    QTemporaryDir folder;
    QImage big(2000, 1500, QImage::Format_RGB32);
    big.fill(Qt::darkCyan);
    QVERIFY(big.save(folder.filePath(QStringLiteral("a-big.png")), "PNG"));
    Write(folder.filePath(QStringLiteral("b-gone.png")), JpegBytes());
    Open(folder.path());
    main_->ChooseRow(RowOf(QStringLiteral("a-big.png")));
    QVERIFY(main_->StillPending());
    const std::vector<pid_t> helpers = TestDecoderPool().HelperPids();
    QVERIFY(!helpers.empty());
    for (const pid_t helper : helpers)
        QCOMPARE(::kill(helper, SIGKILL), 0);
    QVERIFY(QFile::remove(folder.filePath(QStringLiteral("b-gone.png"))));
    main_->ChooseRow(RowOf(QStringLiteral("b-gone.png")));
    QTRY_VERIFY(!Panel(3).isEmpty());
    QCOMPARE(Panel(1), QStringLiteral("b-gone.png"));
    // The file's own reason, or the folder's word that it went, whichever
    // came first; never the errors of stopping the helper.
    const QStringList truths = {QString::fromLatin1(std::strerror(ENOENT)),
                                QString::fromLatin1(cPreviewCore::kRemovedText)};
    QVERIFY2(truths.contains(Panel(3)), qPrintable(Panel(3)));
}

void FailuresShownTest::reasonsAreReadableWhole() {
    // A reason in the status bar's last panel, at the window's first size:
    // its panel is wide enough for the whole text in the panel's font, and
    // its tooltip holds it whole in any window.
    Write(dir_.filePath(QStringLiteral("x-gone.png")), JpegBytes());
    Open(dir_.path());
    QVERIFY(QFile::remove(dir_.filePath(QStringLiteral("x-gone.png"))));
    Choose(QStringLiteral("x-gone.png"));
    QTRY_VERIFY(!Panel(3).isEmpty());
    const QString gone = QString::fromLatin1(std::strerror(ENOENT));
    QCOMPARE(Panel(3), gone);
    const QStringList reasons = {gone, QStringLiteral("Decoding took too long"),
                                 QStringLiteral("The decoder helper sent a broken answer"),
                                 QString::fromLatin1(fMain::kInProcessNotice)};
    const auto labelOf = [this](const QString& text) -> QLabel* {
        for (QLabel* l : Control<StatusPanels>(main_, "sbInfo")->findChildren<QLabel*>())
            if (l->text() == text) return l;
        return nullptr;
    };
    // The fixture's window, and one about as narrow as a window may be.
    for (const QSize size : {QSize(900, 600), QSize(500, 320)}) {
        if (main_->size() != size) {
            EventWait resized(Control<StatusPanels>(main_, "sbInfo"), QEvent::Resize);
            main_->resize(size);
            QVERIFY(resized.Wait());
        }
        for (const QString& reason : reasons) {
            Control<StatusPanels>(main_, "sbInfo")->SetText(3, reason);
            QLabel* panel = labelOf(reason);
            QVERIFY2(panel, qPrintable(reason));
            QCOMPARE(panel->toolTip(), reason);
            // The name keeps room of its own.
            QVERIFY(Control<StatusPanels>(main_, "sbInfo")->PanelRect(1).width() >=
                    Control<StatusPanels>(main_, "sbInfo")->width() / 3);
            if (size.width() < 900) continue; // the tooltip is the whole text there
            const int needed = panel->fontMetrics().horizontalAdvance(reason);
            QVERIFY2(panel->contentsRect().width() >= needed,
                     qPrintable(QStringLiteral("%1: %2 < %3")
                                    .arg(reason)
                                    .arg(panel->contentsRect().width())
                                    .arg(needed)));
        }
    }
    Control<StatusPanels>(main_, "sbInfo")->SetText(3, QString());
    QCOMPARE(labelOf(QString())->toolTip(), QString());
}

void FailuresShownTest::missingOpenersAreSaid() {
    // PATH holds nothing but what the test puts there, and no browser is
    // named: the desktop's services find no opener, as on a machine without
    // xdg-utils. Off-screen, Qt has no desktop services at all; under X
    // (test_failures_shown_x) they look for the opener on PATH for real, and
    // one put there is started instead of the message.
    QTemporaryDir bin;
    EnvironmentGuard path("PATH", QFile::encodeName(bin.path()));
    EnvironmentGuard browser("BROWSER", QByteArray());
    EnvironmentGuard defaultBrowser("DEFAULT_BROWSER", QByteArray());
    // A name that is not UTF-8 goes to xdg-open as bytes, not through Qt.
    const QByteArray odd = QFile::encodeName(dir_.path()) + "/caf\xE9.png";
    QFile small(dir_.filePath(QStringLiteral("z-small.png")));
    QVERIFY(small.open(QIODevice::ReadOnly));
    std::ofstream(odd.toStdString(), std::ios::binary) << small.readAll().toStdString();
    // Removed by its bytes: its name does not come back from text.
    const auto removeOdd = qScopeGuard([&odd] { std::remove(odd.constData()); });
    Open(dir_.path());
    const QString oddName = QFileInfo(QFile::decodeName(odd)).fileName();
    struct Opening {
        QString name;    // the file chosen, or empty for Visit
        QByteArray what; // what the opener is handed
    };
    const Opening commands[] = {
        {QStringLiteral("a-still.png"), QFile::encodeName(dir_.filePath("a-still.png"))},
        {oddName, odd},
        {QString(), QByteArray(Product::kPublisherUrl)},
    };
    const auto run = [this](const Opening& c) {
        if (c.name.isEmpty()) {
            QTest::mouseClick(Control<QPushButton>(main_, "cmdVisit"), Qt::LeftButton);
        } else {
            Control<FileListView>(main_, "lvFiles")->SelectRow(RowOf(c.name));
            main_->ChooseRow(RowOf(c.name));
            main_->CommandAction(Command::Edit)->trigger();
        }
    };
    for (const Opening& c : commands) {
        QVERIFY(MessageBoxes().isEmpty());
        run(c);
        const QList<QMessageBox*> boxes = MessageBoxes();
        QCOMPARE(boxes.size(), 1);
        const QString said = c.name.isEmpty() ? QString::fromLatin1(c.what) : c.name;
        QVERIFY2(boxes[0]->text().contains(said), qPrintable(boxes[0]->text()));
        QPointer<QMessageBox> box = boxes[0];
        box->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!box);
    }
    if (QGuiApplication::platformName() == QStringLiteral("offscreen")) return;

    // An opener on PATH: started with what it opens, and no message.
    const QString opened = bin.filePath(QStringLiteral("opened"));
    QFile opener(bin.filePath(QStringLiteral("xdg-open")));
    QVERIFY(opener.open(QIODevice::WriteOnly));
    opener.write("#!/bin/sh\nprintf '%s' \"$1\" > \"$0.part\" && /bin/mv \"$0.part\" " +
                 QFile::encodeName(opened) + "\n");
    opener.close();
    opener.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    for (const Opening& c : commands) {
        QFileSystemWatcher watcher({bin.path()});
        QEventLoop loop;
        QObject::connect(&watcher, &QFileSystemWatcher::directoryChanged, &loop, [&] {
            if (QFile::exists(opened)) loop.quit();
        });
        run(c);
        QVERIFY(MessageBoxes().isEmpty());
        if (!QFile::exists(opened)) {
            QTimer::singleShot(kLimitMs, &loop, &QEventLoop::quit);
            loop.exec();
        }
        QFile got(opened);
        QVERIFY(got.open(QIODevice::ReadOnly));
        const QByteArray handed = got.readAll();
        QVERIFY2(handed == c.what ||
                     QUrl(QString::fromUtf8(handed)).toLocalFile() == QFile::decodeName(c.what),
                 handed.constData());
        got.remove();
    }
}

bool FailuresShownTest::WaitForList(const std::function<bool()>& done) {
    QEventLoop loop;
    const QMetaObject::Connection look = connect(main_, &fMain::listUpdated, &loop, [&] {
        if (done()) loop.quit();
    });
    if (!done()) {
        QTimer::singleShot(kLimitMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    disconnect(look);
    return done();
}

void FailuresShownTest::folderMadeAgainIsListedAgain_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("made again, then a picture written in") << "mkdir";
    QTest::newRow("its parent gone too, both made again") << "parent";
    QTest::newRow("made elsewhere and moved in") << "move";
}

void FailuresShownTest::folderMadeAgainIsListedAgain() {
    QFETCH(QString, how);
    QTemporaryDir scratch;
    const QString parent = scratch.filePath(QStringLiteral("parent"));
    const QString shown = parent + QStringLiteral("/shown");
    const QString picture = dir_.filePath(QStringLiteral("z-small.png"));
    QVERIFY(QDir().mkpath(shown));
    QVERIFY(QFile::copy(picture, shown + QStringLiteral("/p.png")));
    Open(shown);
    QCOMPARE(Control<QLabel>(main_, "lblCount")->text(), QStringLiteral("1 Image Files"));

    QVERIFY(QDir(how == QStringLiteral("parent") ? parent : shown).removeRecursively());
    QVERIFY(WaitForList([this] { return Panel(1) == QStringLiteral("Folder not found"); }));
    QCOMPARE(Control<QLabel>(main_, "lblCount")->text(), QStringLiteral("0 Image Files"));

    if (how == QStringLiteral("move")) {
        const QString made = scratch.filePath(QStringLiteral("made"));
        QVERIFY(QDir().mkpath(made));
        QVERIFY(QFile::copy(picture, made + QStringLiteral("/q.png")));
        QVERIFY(QDir().rename(made, shown));
    } else {
        QVERIFY(QDir().mkpath(shown));
        QVERIFY(QFile::copy(picture, shown + QStringLiteral("/q.png")));
    }
    QVERIFY(WaitForList([this] {
        return Control<QLabel>(main_, "lblCount")->text() == QStringLiteral("1 Image Files");
    }));
    QCOMPARE(Control<FileListView>(main_, "lvFiles")->Model()->NameText(0),
             QStringLiteral("q.png"));
    QCOMPARE(Panel(1), QString()); // the folder is there: nothing is wrong with it now
}

QTEST_MAIN(FailuresShownTest)
#include "test_failures_shown.moc"
