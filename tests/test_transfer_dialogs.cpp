// The dialogs of copies and moves, driven as a person would: the chooser
// takes a remembered folder by double click, Enter or OK, never one that is
// gone, and any other through the folder dialog, and remembers the choice;
// the question for a name that exists maps each button to its answer (only
// Replace replaces), asks on the window's thread for a worker and gives an
// answer "to all" without asking again; the progress shows only for long
// work, takes figures from any thread and says Cancel once.
#include "app/ConflictQuestion.h"
#include "app/DestinationChooser.h"
#include "app/TransferProgress.h"

#include "tests/TempDir.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <thread>

class TransferDialogsTest : public QObject {
    Q_OBJECT
  private slots:
    void chooserTakesARememberedFolder();
    void chooserTakesAnyOtherFolder();
    void chosenFolderIsRemembered();
    void conflictButtonsGiveTheirAnswers_data();
    void conflictButtonsGiveTheirAnswers();
    void conflictAskedOnTheWindowsThread();
    void progressShowsOnlyForLongWork();
    void progressFiguresAndCancel();
};

namespace {

// Folders a, b, c made, then "gone" remembered but not there; the list
// holds c, b, a after the gone one, most recent first.
struct Remembered {
    TempDir dir;
    DestinationList list{dir.path() / "cfg" / DestinationList::kFileName};
    std::string a = (dir.path() / "a").string(), b = (dir.path() / "b\nnew line").string(),
                c = (dir.path() / "c").string(), gone = (dir.path() / "gone").string();
    Remembered() {
        for (const std::string& p : {a, b, c})
            std::filesystem::create_directory(p);
        for (const std::string& p : {a, b, c, gone})
            list.Remember(p);
    }
};

int RowOf(const QListWidget* list, const std::string& path) {
    for (int row = 0; row < list->count(); ++row)
        if (DestinationChooser::PathOf(list->item(row)) == path) return row;
    return -1;
}

void DoubleClickRow(QListWidget* list, int row) {
    const QPoint at = list->visualItemRect(list->item(row)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

} // namespace

void TransferDialogsTest::chooserTakesARememberedFolder() {
    Remembered r;
    {
        DestinationChooser chooser(nullptr, QStringLiteral("Copy To"), r.list, "");
        chooser.show();
        QVERIFY(QTest::qWaitForWindowExposed(&chooser));
        QCOMPARE(chooser.lstRecent->count(), 4);
        QCOMPARE(RowOf(chooser.lstRecent, r.gone), 0);
        // The gone folder shows but is not taken; the first that is there is current.
        QVERIFY(!(chooser.lstRecent->item(0)->flags() & Qt::ItemIsEnabled));
        QCOMPARE(chooser.lstRecent->currentRow(), 1);
        DoubleClickRow(chooser.lstRecent, 0);
        QVERIFY(chooser.isVisible());
        QVERIFY(!chooser.Chosen());
        // Made current by the program, the gone row still cannot be taken.
        QPushButton* ok = chooser.buttons->button(QDialogButtonBox::Ok);
        QVERIFY(ok->isEnabled());
        chooser.lstRecent->setCurrentRow(0);
        QVERIFY(!ok->isEnabled());
        QTest::keyClick(chooser.lstRecent, Qt::Key_Return);
        QVERIFY(!chooser.Chosen());
        DoubleClickRow(chooser.lstRecent, RowOf(chooser.lstRecent, r.b));
        QCOMPARE(chooser.result(), int(QDialog::Accepted));
        QCOMPARE(chooser.Chosen().value_or(""), r.b); // a newline in it, kept
        QVERIFY(chooser.lstRecent->item(RowOf(chooser.lstRecent, r.b))
                    ->text()
                    .endsWith(QStringLiteral("b\u21B5new line")));
    }
    {
        DestinationChooser chooser(nullptr, QStringLiteral("Move To"), r.list, "");
        chooser.show();
        QVERIFY(QTest::qWaitForWindowExposed(&chooser));
        chooser.lstRecent->setFocus();
        chooser.lstRecent->setCurrentRow(RowOf(chooser.lstRecent, r.a));
        QTest::keyClick(chooser.lstRecent, Qt::Key_Return);
        QCOMPARE(chooser.result(), int(QDialog::Accepted));
        QCOMPARE(chooser.Chosen().value_or(""), r.a);
    }
    {
        DestinationChooser chooser(nullptr, QStringLiteral("Copy To"), r.list, "");
        chooser.show();
        QVERIFY(QTest::qWaitForWindowExposed(&chooser));
        QPushButton* ok = chooser.buttons->button(QDialogButtonBox::Ok);
        chooser.lstRecent->setCurrentRow(RowOf(chooser.lstRecent, r.c));
        QTest::mouseClick(ok, Qt::LeftButton);
        QCOMPARE(chooser.Chosen().value_or(""), r.c);
    }
}

void TransferDialogsTest::chooserTakesAnyOtherFolder() {
    Remembered r;
    DestinationChooser chooser(nullptr, QStringLiteral("Copy To"), r.list, "/start/here");
    std::string startedIn;
    std::optional<std::string> answer; // cancelled first
    chooser.askFolder = [&](QWidget*, const QString&, const std::string& start) {
        startedIn = start;
        return answer;
    };
    chooser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chooser));
    QTest::mouseClick(chooser.cmdOther, Qt::LeftButton);
    QCOMPARE(startedIn, std::string("/start/here"));
    QVERIFY(chooser.isVisible()); // the folder dialog cancelled: still choosing
    QVERIFY(!chooser.Chosen());
    answer = "/somewhere/else";
    QTest::mouseClick(chooser.cmdOther, Qt::LeftButton);
    QCOMPARE(chooser.result(), int(QDialog::Accepted));
    QCOMPARE(chooser.Chosen().value_or(""), std::string("/somewhere/else"));
}

void TransferDialogsTest::chosenFolderIsRemembered() {
    // The modal dialog, answered from inside its own event loop.
    Remembered r;
    bool answered = false;
    QTimer::singleShot(0, this, [&] {
        auto* chooser = qobject_cast<DestinationChooser*>(QApplication::activeModalWidget());
        if (!chooser) return;
        chooser->lstRecent->setCurrentRow(RowOf(chooser->lstRecent, r.a));
        QTest::keyClick(chooser->lstRecent, Qt::Key_Return);
        answered = true;
    });
    const std::optional<std::string> chosen =
        ChooseDestination(nullptr, QStringLiteral("Copy To"), r.list, "");
    QVERIFY(answered);
    QCOMPARE(chosen.value_or(""), r.a);
    DestinationList again(r.list.File());
    again.Load();
    QCOMPARE(again.Paths().front(), r.a);
    QCOMPARE(again.Paths().size(), std::size_t(4));
}

void TransferDialogsTest::conflictButtonsGiveTheirAnswers_data() {
    QTest::addColumn<QString>("press"); // a button's name, or a key
    QTest::addColumn<bool>("toAll");
    QTest::addColumn<int>("choice");
    QTest::addColumn<bool>("appliesToAll");
    const int skip = int(ConflictChoice::Skip), both = int(ConflictChoice::KeepBoth),
              replace = int(ConflictChoice::Replace), cancel = int(ConflictChoice::CancelAll);
    QTest::newRow("Skip") << "cmdSkip" << false << skip << false;
    QTest::newRow("Skip, to all") << "cmdSkip" << true << skip << true;
    QTest::newRow("Keep Both") << "cmdKeepBoth" << false << both << false;
    QTest::newRow("Replace") << "cmdReplace" << false << replace << false;
    QTest::newRow("Replace, to all") << "cmdReplace" << true << replace << true;
    QTest::newRow("Cancel") << "cmdCancel" << true << cancel << false;
    QTest::newRow("Esc") << "Esc" << false << cancel << false;
    QTest::newRow("Enter never replaces") << "Enter" << false << skip << false;
}

void TransferDialogsTest::conflictButtonsGiveTheirAnswers() {
    QFETCH(QString, press);
    QFETCH(bool, toAll);
    QFETCH(int, choice);
    QFETCH(bool, appliesToAll);
    TempDir dir;
    const auto source = dir.Write("new.png", "coming");
    std::filesystem::create_directory(dir.path() / "to");
    const auto existing = dir.path() / "to" / "new.png";
    dir.Write("to/new.png", "there already");
    ConflictQuestion question(nullptr, source.string(), existing.string());
    QCOMPARE(question.lblQuestion->text(),
             QStringLiteral("“new.png” exists in %1.")
                 .arg(QString::fromStdString((dir.path() / "to").string())));
    QCOMPARE(question.Answer().choice, ConflictChoice::CancelAll); // before any answer
    question.show();
    QVERIFY(QTest::qWaitForWindowExposed(&question));
    if (toAll) // on its box, at the left
        QTest::mouseClick(question.chkApplyToAll, Qt::LeftButton, {},
                          QPoint(6, question.chkApplyToAll->height() / 2));
    QCOMPARE(question.chkApplyToAll->isChecked(), toAll);
    if (press == QLatin1String("Esc"))
        QTest::keyClick(&question, Qt::Key_Escape);
    else if (press == QLatin1String("Enter"))
        QTest::keyClick(&question, Qt::Key_Return);
    else
        QTest::mouseClick(question.findChild<QPushButton*>(press), Qt::LeftButton);
    QVERIFY(!question.isVisible());
    QCOMPARE(int(question.Answer().choice), choice);
    QCOMPARE(question.Answer().applyToAll, appliesToAll);
}

void TransferDialogsTest::conflictAskedOnTheWindowsThread() {
    QWidget window;
    int asked = 0;
    bool onWindowsThread = true;
    const auto ask = [&](QWidget* parent, const std::string&, const std::string&) {
        ++asked;
        onWindowsThread = onWindowsThread && QThread::currentThread() == parent->thread();
        return ConflictAnswer{ConflictChoice::KeepBoth, true};
    };
    auto onConflict = ConflictAskerFor(&window, ask);
    std::vector<ConflictChoice> answers;
    QEventLoop loop;
    std::thread worker([&] {
        for (int i = 0; i < 3; ++i)
            answers.push_back(onConflict("/from/x", "/to/x"));
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    QCOMPARE(asked, 1); // "to all": the rest without asking
    QVERIFY(onWindowsThread);
    QCOMPARE(answers, std::vector<ConflictChoice>(3, ConflictChoice::KeepBoth));
    // Cancel is never kept "to all", and a window gone answers Cancel.
    auto* gone = new QWidget;
    int askedGone = 0;
    auto onConflictGone = ConflictAskerFor(gone, [&](QWidget*, const auto&, const auto&) {
        ++askedGone;
        return ConflictAnswer{ConflictChoice::Replace, false};
    });
    delete gone;
    QCOMPARE(onConflictGone("/from/x", "/to/x"), ConflictChoice::CancelAll);
    QCOMPARE(askedGone, 0);
}

void TransferDialogsTest::progressShowsOnlyForLongWork() {
    {
        TransferProgress quick(nullptr, QStringLiteral("Copying"),
                               QStringLiteral("Copying 2 files"));
        QVERIFY(quick.showTimer.isActive());
        quick.Finish(); // done before it was due: never shown
        QVERIFY(!quick.showTimer.isActive());
        QVERIFY(!quick.isVisible());
    }
    QElapsedTimer clock;
    clock.start();
    TransferProgress slow(nullptr, QStringLiteral("Copying"), QStringLiteral("Copying 900 files"));
    QVERIFY(!slow.isVisible());
    QSignalSpy due(&slow.showTimer, &QTimer::timeout);
    QVERIFY(due.wait());
    QVERIFY(clock.elapsed() >= TransferProgress::kShowAfterMs - 25); // the timer's own slack
    QVERIFY(slow.isVisible());
    QVERIFY(!slow.isModal());
    slow.Finish();
    QVERIFY(!slow.isVisible());
}

void TransferDialogsTest::progressFiguresAndCancel() {
    TransferProgress progress(nullptr, QStringLiteral("Moving"), QStringLiteral("Moving 3 files"));
    progress.Progress(50, 200);
    QCOMPARE(progress.barDone->value(), 250);
    const uint64_t huge = uint64_t(1) << 63;
    progress.Progress(huge / 2, huge);
    QCOMPARE(progress.barDone->value(), 500);
    progress.Progress(7, 0); // nothing to do is all done
    QCOMPARE(progress.barDone->value(), TransferProgress::kBarSteps);
    progress.Progress(300, 200);
    QCOMPARE(progress.barDone->value(), TransferProgress::kBarSteps);
    // From a worker: the newest figures are shown.
    std::thread worker([&] {
        for (uint64_t i = 0; i <= 1000; ++i)
            progress.Post(i, 4000);
    });
    worker.join();
    QSignalSpy changed(progress.barDone, &QProgressBar::valueChanged);
    QVERIFY(changed.wait());
    QCOMPARE(progress.barDone->value(), 250);
    // Cancel, Esc and closing all say it once.
    QSignalSpy cancels(&progress, &TransferProgress::cancelRequested);
    progress.show();
    QVERIFY(QTest::qWaitForWindowExposed(&progress));
    QTest::mouseClick(progress.cmdCancel, Qt::LeftButton);
    QTest::keyClick(&progress, Qt::Key_Escape);
    progress.close();
    QCOMPARE(cancels.count(), 1);
    QVERIFY(progress.Cancelled());
    QVERIFY(!progress.cmdCancel->isEnabled());
    QVERIFY(progress.isVisible()); // until the work has stopped
}

QTEST_MAIN(TransferDialogsTest)
#include "test_transfer_dialogs.moc"
