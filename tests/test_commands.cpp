// The main window's commands and its secondary windows, off-screen: help,
// about, options, the toolbar, handing files to the desktop, the exit
// question and the ends that cannot ask it.
#include "app/fMain.h"
#include "app/mSetup.h"
#include "app/mSetupUi.h"
#include "platform/Termination.h"
#include "platform/Twips.h"
#include "tests/TestDecoderPool.h"
#include "tests/WindowControls.h"

#include <QFile>
#include <QImage>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <csignal>
#include <fstream>

class CommandsTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void init();
    void cleanup();
    void helpTextByteForByte();
    void aboutWindow();
    void systemInfoToolFromPath();
    void optionsSwitchTheLayoutAndStore();
    void optionsWithAnUnknownOrientation();
    void viewSwitchesAndComesBack();
    void keysReachEveryCommand();
    void toolbarFitsTheSmallestWindow();
    void secondaryWindowsAreOwnedAndCloseOnEsc();
    void editOpensTheFileChosenLast();
    void captionlessButtonsDoNothing();
    void toolbarInItsDesignedOrder();
    void eachCommandRunsItsOwnHandler();
    void exitQuestion();
    void terminationSavesAndEnds();
    void fullScreenComesAndGoesAndKeepsTheLayout();

  private:
    std::string SettingsFile() {
        return (settings_.path() + QStringLiteral("/ipsetup.dat")).toStdString();
    }
    std::string ReadSettings() {
        std::ifstream in(SettingsFile(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    QTemporaryDir dir_, other_, settings_;
    BrowsingState state_;
    SetupRecord setup_;
    fMain* main_ = nullptr;
};

void CommandsTest::initTestCase() {
    QImage still(64, 48, QImage::Format_RGB32);
    still.fill(Qt::red);
    still.save(dir_.filePath(QStringLiteral("one.png")), "PNG");
    mSetup::SetSettingsFolder(settings_.path().toStdString());
}

void CommandsTest::init() {
    setup_ = mSetup::Defaults();
    QFile::remove(QString::fromStdString(SettingsFile()));
    main_ = new fMain(state_, setup_, TestDecoderPool());
    main_->resize(800, 600);
    main_->show();
    QVERIFY(QTest::qWaitForWindowExposed(main_));
    state_.sCurrentPath = dir_.path().toStdString();
    main_->nPathchange();
    QTRY_VERIFY(!main_->Listing()); // the folder is read on a worker
}

void CommandsTest::cleanup() {
    delete main_;
}

void CommandsTest::helpTextByteForByte() {
    const QByteArray expected =
        "  Using the Image Viewer is quite easy. Simply navigate to folders which contain images"
        " by using the standard folder tree on the main interface.\r\r"
        " From the toolbar, you can set program options, change browser views, load images into "
        "the Windows default editor, refresh the browser, read this help, and exit the program.\r\r"
        " To view the selected image at its actual size, dblclick on the image in the preview or "
        "press the <ENTER> key. dblclick again or press <ESC> to return to the browser.\r"
        "--------------\r"
        " This program utilizes portions of the Freeimage Image library. For more information, "
        "visit https://freeimage.sourceforge.io.\r--------------\r Corvane";
    QCOMPARE(fHelp::HelpText().toUtf8(), expected);
    QPointer<fHelp> help = main_->ShowHelp();
    QCOMPARE(help->windowTitle(), QStringLiteral("Vantrel Help "));
    QCOMPARE(help->lblhelp->text(), QString::fromUtf8(expected).replace('\r', '\n'));
    QCOMPARE(help->parentWidget(), main_);
    QVERIFY(!help->isModal());
    QCOMPARE(main_->ShowHelp(), help.data()); // one window, brought to the front
    help->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!help);
}

void CommandsTest::aboutWindow() {
    QTest::mouseClick(Control<QPushButton>(main_, "cmdAbout"), Qt::LeftButton);
    QPointer<fAbout> about = main_->findChild<fAbout*>();
    QVERIFY(about && about->isVisible());
    QCOMPARE(about->windowTitle(), QStringLiteral("About Vantrel"));
    QCOMPARE(about->lblTitle->text(), QStringLiteral("Vantrel"));
    QCOMPARE(about->lblVersion->text(), QStringLiteral("Version 1.0.0"));
    QVERIFY(about->lblDescription->text().startsWith(QStringLiteral(
        "Vantrel is a handy tool which you can use for a variety of Image Browsing")));
    QCOMPARE(about->cmdSysInfo->text(), QStringLiteral("&System Info..."));
    QTest::mouseClick(about->cmdOK, Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!about);
}

void CommandsTest::systemInfoToolFromPath() {
    const QByteArray path = qgetenv("PATH");
    QTemporaryDir bin;
    qputenv("PATH", bin.path().toUtf8());
    fAbout about;
    QStringList messages, started;
    about.Message = [&](const QString& m) { messages << m; };
    about.Start = [&](const QString& p) {
        started << p;
        return true;
    };
    QTest::mouseClick(about.cmdSysInfo, Qt::LeftButton); // nothing found
    QCOMPARE(messages,
             QStringList{QStringLiteral("System Information Is Unavailable At This Time")});
    QVERIFY(started.isEmpty());
    // A tool on PATH is started from where it was found, without asking again.
    const QString tool = bin.filePath(QStringLiteral("gnome-system-monitor"));
    QFile f(tool);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("#!/bin/sh\n");
    f.close();
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    about.StartSysInfo();
    QCOMPARE(started, QStringList{tool});
    QCOMPARE(messages.size(), 1);
    about.Start = [&](const QString&) { return false; }; // it fails to start
    about.StartSysInfo();
    QCOMPARE(messages.size(), 2);
    qputenv("PATH", path);
}

void CommandsTest::optionsSwitchTheLayoutAndStore() {
    setup_.HSplitOrientation = mSetup::kTrue;
    Control<Splitter>(main_, "hSplit")->SetOrientation(1);
    QPointer<fOptions> o = main_->ShowOptions();
    QVERIFY(o->optSplitters[1]->isChecked());
    QVERIFY(o->ckOptions[0]->isHidden() && o->ckOptions[1]->isHidden());
    QVERIFY(!o->ckOptions[1]->isEnabled());
    QCOMPARE(o->ckOptions[1]->text(), QStringLiteral("Start browser in  &Thumbnail View  "));
    QCOMPARE(o->size(), QSize(313, 229));
    // The side-by-side picture selects its button and switches at once; nothing is stored.
    QTest::mouseClick(o->Image2, Qt::LeftButton);
    QVERIFY(o->optSplitters[0]->isChecked());
    QCOMPARE(Control<Splitter>(main_, "hSplit")->Orientation(), 0);
    QCOMPARE(setup_.HSplitOrientation, mSetup::kTrue);
    QVERIFY(ReadSettings().empty());
    // Apply stores and stays; the record written is the whole one.
    QTest::mouseClick(o->cmdAction[0], Qt::LeftButton);
    QCOMPARE(setup_.HSplitOrientation, mSetup::kFalse);
    QVERIFY(o->isVisible());
    SetupRecord written = mSetup::Decode(
        std::span(reinterpret_cast<const uint8_t*>(ReadSettings().data()), ReadSettings().size()));
    QCOMPARE(written.HSplitOrientation, mSetup::kFalse);
    // The stacked picture, then Ok: stored and closed.
    QTest::mouseClick(o->Image1, Qt::LeftButton);
    QCOMPARE(Control<Splitter>(main_, "hSplit")->Orientation(), -1);
    QTest::mouseClick(o->cmdAction[1], Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!o);
    const std::string bytes = ReadSettings();
    written =
        mSetup::Decode(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    QCOMPARE(written.HSplitOrientation, mSetup::kTrue);
}

void CommandsTest::optionsWithAnUnknownOrientation() {
    setup_.HSplitOrientation = 5;
    fOptions o(setup_, Control<Splitter>(main_, "hSplit"));
    bool saved = false;
    o.Save = [&] { return saved = true; };
    QVERIFY(!o.optSplitters[0]->isChecked() && !o.optSplitters[1]->isChecked());
    o.cmdAction_Click(0);
    QVERIFY(saved);
    QCOMPARE(setup_.HSplitOrientation, mSetup::kFalse);
}

void CommandsTest::viewSwitchesAndComesBack() {
    main_->CommandAction(Command::View)->trigger();
    QVERIFY(Control<FileListView>(main_, "lvFiles")->IsLargeIconView());
    QCOMPARE(Control<FileListView>(main_, "lvFiles")->Model()->rowCount(), 1); // the rows stay
    main_->CommandAction(Command::View)->trigger();
    QVERIFY(!Control<FileListView>(main_, "lvFiles")->IsLargeIconView());
    QCOMPARE(Control<FileListView>(main_, "lvFiles")->Model()->columnCount(), 4);
    QVERIFY(!main_->CommandAction(Command::Edit)->icon().isNull());
}

void CommandsTest::keysReachEveryCommand() {
    QVERIFY(QTest::qWaitForWindowActive(main_));
    int asked = 0, opened = 0;
    main_->AskExit = [&] { return ++asked, false; };
    main_->OpenFile = [&](const std::string&) { ++opened; };
    main_->ChooseRow(0);
    QTRY_VERIFY(main_->ReadAheadIdle());
    struct Row {
        Command command;
        QList<QKeySequence> keys;
        const char* caption;
        const char* tooltip;
    };
    const QList<Row> rows = {
        {Command::Edit,
         {QKeySequence(Qt::ALT | Qt::Key_E)},
         "&Edit",
         "Open selected image in default image editor"},
        {Command::Refresh,
         {QKeySequence(Qt::ALT | Qt::Key_R), QKeySequence(Qt::Key_F5)},
         "&Refresh",
         "Refresh File List"},
        {Command::Exit,
         {QKeySequence(Qt::ALT | Qt::Key_X), QKeySequence(Qt::CTRL | Qt::Key_Q)},
         "E&xit",
         "Exit Program"},
        {Command::View, {QKeySequence(Qt::ALT | Qt::Key_V)}, "&View", "Change File List View"},
        {Command::Options, {QKeySequence(Qt::ALT | Qt::Key_O)}, "&Options", "Program Options"},
        {Command::Help,
         {QKeySequence(Qt::ALT | Qt::Key_H), QKeySequence(Qt::Key_F1)},
         "&Help",
         "Help"},
    };
    for (const Row& r : rows) {
        QAction* a = main_->CommandAction(r.command);
        QCOMPARE(a->text(), QString::fromLatin1(r.caption));
        QCOMPARE(a->iconText(), a->text()); // the tool button underlines the letter
        QVERIFY2(a->toolTip().startsWith(QString::fromLatin1(r.tooltip) + QStringLiteral(" (")),
                 qPrintable(a->toolTip()));
        for (const QKeySequence& k : r.keys) {
            // Alt and the letter is the tool button's; the others are the action's.
            QVERIFY2(a->shortcuts().contains(k) || k == QKeySequence::mnemonic(a->text()),
                     qPrintable(k.toString()));
            QVERIFY2(a->toolTip().contains(k.toString(QKeySequence::NativeText)),
                     qPrintable(a->toolTip()));
            // Pressed in the list, where the focus usually is.
            main_->activateWindow();
            Control<FileListView>(main_, "lvFiles")->ReportView()->setFocus();
            QVERIFY(QTest::qWaitForWindowActive(main_));
            const bool large = Control<FileListView>(main_, "lvFiles")->IsLargeIconView();
            if (r.command == Command::Refresh) // Refresh finds the file added since the listing
                QFile::copy(dir_.filePath(QStringLiteral("one.png")),
                            dir_.filePath(QStringLiteral("two.png")));
            const int askedBefore = asked, openedBefore = opened;
            QTest::keySequence(Control<FileListView>(main_, "lvFiles")->ReportView(), k);
            switch (r.command) {
            case Command::Edit:
                QTRY_COMPARE(opened, openedBefore + 1);
                break;
            case Command::Refresh:
                QTRY_COMPARE(Control<FileListView>(main_, "lvFiles")->Model()->rowCount(), 2);
                break;
            case Command::Exit:
                QTRY_COMPARE(asked, askedBefore + 1);
                break;
            case Command::View:
                QTRY_COMPARE(Control<FileListView>(main_, "lvFiles")->IsLargeIconView(), !large);
                break;
            case Command::Options:
                QTRY_VERIFY(main_->ShowOptions()->isVisible());
                QTest::keyClick(main_->ShowOptions(), Qt::Key_Escape);
                break;
            case Command::Help:
                QTRY_VERIFY(main_->ShowHelp()->isVisible());
                QTest::keyClick(main_->ShowHelp(), Qt::Key_Escape);
                break;
            default: // the commands on files have tests of their own
                QFAIL("a row of a command without a check");
            }
        }
        // The preview's context menu holds the command too.
        QVERIFY(Control<PicturePane>(main_, "imgPane")->actions().contains(a));
        QVERIFY(Control<ucGIFViewer>(main_, "ucGIF1")->actions().contains(a));
    }
    QVERIFY(main_->isVisible()); // every Exit was answered No
    QFile::remove(dir_.filePath(QStringLiteral("two.png")));
}

void CommandsTest::toolbarFitsTheSmallestWindow() {
    // A longer count after a listing, in the window of the first start.
    main_->resize(603, 480);
    QCoreApplication::processEvents();
    QTemporaryDir many;
    for (int i = 0; i < 1000; ++i)
        QFile(many.filePath(QStringLiteral("p%1.png").arg(i))).open(QIODevice::WriteOnly);
    state_.sCurrentPath = many.path().toStdString();
    main_->nPathchange();
    QTRY_VERIFY(!main_->Listing()); // the folder is read on a worker
    QCOMPARE(Control<QLabel>(main_, "lblCount")->text(), QStringLiteral("1000 Image Files"));
    QToolBar* toolbar = Control<QToolBar>(main_, "tbrMain");
    QCoreApplication::processEvents();
    QVERIFY(Control<QLabel>(main_, "lblCount")->isVisible());
    QVERIFY(toolbar->rect().contains(
        QRect(Control<QLabel>(main_, "lblCount")->mapTo(toolbar, QPoint(0, 0)),
              Control<QLabel>(main_, "lblCount")->size())));
    Control<QLabel>(main_, "lblCount")->setText(QStringLiteral("100000 Image Files"));
    for (const int width : {499, 600, 1000}) {
        main_->resize(width, 400);
        QCoreApplication::processEvents();
        QToolBar* bar = Control<QToolBar>(main_, "tbrMain");
        for (QAction* a : main_->ToolbarActions()) {
            QWidget* button = bar->widgetForAction(a);
            QVERIFY2(button && button->isVisible(), qPrintable(a->text()));
            QVERIFY(bar->rect().contains(button->geometry()));
        }
        QVERIFY(Control<QLabel>(main_, "lblCount")->isVisible());
        const QRect count(Control<QLabel>(main_, "lblCount")->mapTo(bar, QPoint(0, 0)),
                          Control<QLabel>(main_, "lblCount")->size());
        QVERIFY2(bar->rect().contains(count), qPrintable(QString::number(width)));
        QVERIFY(Control<QLabel>(main_, "lblCount")->width() >=
                Control<QLabel>(main_, "lblCount")
                    ->fontMetrics()
                    .horizontalAdvance(Control<QLabel>(main_, "lblCount")->text()));
    }
}

void CommandsTest::secondaryWindowsAreOwnedAndCloseOnEsc() {
    // Options: Esc is Cancel: the choice made shows again, nothing is saved.
    const bool vertical = Control<Splitter>(main_, "hSplit")->Orientation() != 0;
    fOptions* options = main_->ShowOptions();
    bool saved = false;
    options->Save = [&] { return saved = true; };
    options->optSplitters[vertical ? 0 : 1]->click();
    QCOMPARE(Control<Splitter>(main_, "hSplit")->Orientation() != 0, !vertical);
    QPointer<fOptions> o = options;
    QTest::keyClick(options, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!o);
    QVERIFY(!saved);
    QCOMPARE(Control<Splitter>(main_, "hSplit")->Orientation() != 0, vertical);
    // Help and About: dialogs of the main window, closed by Esc.
    for (QWidget* w :
         {static_cast<QWidget*>(main_->ShowHelp()), static_cast<QWidget*>(main_->ShowAbout())}) {
        QCOMPARE(w->parentWidget(), static_cast<QWidget*>(main_));
        QCOMPARE(w->windowType(), Qt::Dialog);
        QPointer<QWidget> p = w;
        QTest::keyClick(w, Qt::Key_Escape);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!p);
    }
}

void CommandsTest::editOpensTheFileChosenLast() {
    std::vector<std::string> opened;
    main_->OpenFile = [&](const std::string& p) { opened.push_back(p); };
    main_->CommandAction(Command::Edit)->trigger(); // nothing chosen yet
    QVERIFY(opened.empty());
    // A press on the first row, selected already by the listing, chooses it.
    QTreeView* report = Control<FileListView>(main_, "lvFiles")->ReportView();
    QTest::mousePress(report->viewport(), Qt::LeftButton, {},
                      report->visualRect(report->model()->index(0, 0)).center());
    QTest::mouseRelease(report->viewport(), Qt::LeftButton, {},
                        report->visualRect(report->model()->index(0, 0)).center());
    QTRY_COMPARE(Control<StatusPanels>(main_, "sbInfo")->Text(1), QStringLiteral("one.png"));
    state_.sCurrentPath = other_.path().toStdString();
    main_->nPathchange();
    QTRY_VERIFY(!main_->Listing()); // the folder is read on a worker
    main_->CommandAction(Command::Edit)->trigger();
    QCOMPARE(opened,
             std::vector<std::string>{dir_.filePath(QStringLiteral("one.png")).toStdString()});
    // The real opener hands a vanished file to the desktop without waiting or a message.
    QFile::rename(dir_.filePath(QStringLiteral("one.png")),
                  dir_.filePath(QStringLiteral("gone.png")));
    main_->OpenFile = [](const std::string&) {};
    fMain::ShellOpen("no-scheme-at-all:/x");
    QFile::rename(dir_.filePath(QStringLiteral("gone.png")),
                  dir_.filePath(QStringLiteral("one.png")));
}

void CommandsTest::captionlessButtonsDoNothing() {
    main_->ChooseRow(0);
    QTRY_VERIFY(main_->ReadAheadIdle());
    const QString panel = Control<StatusPanels>(main_, "sbInfo")->Text(1);
    int spacers = 0;
    for (QAction* a : main_->ToolbarActions()) {
        if (!a->isSeparator()) continue;
        ++spacers;
        a->trigger();
        QVERIFY(main_->isVisible());
        QCOMPARE(Control<StatusPanels>(main_, "sbInfo")->Text(1), panel);
        QVERIFY(!Control<FileListView>(main_, "lvFiles")->IsLargeIconView());
    }
    QCOMPARE(spacers, 3);
}

void CommandsTest::toolbarInItsDesignedOrder() {
    // Left to right, the spacers between the groups; each button is its
    // command's action, wherever it stands.
    QStringList captions;
    for (QAction* a : main_->ToolbarActions())
        captions << (a->isSeparator() ? QStringLiteral("|") : a->text());
    QCOMPARE(captions.join(QLatin1Char(' ')),
             QStringLiteral("| &Edit &Refresh | E&xit | &View &Options &Help"));
    QCOMPARE(Control<QToolBar>(main_, "tbrMain")->actions().mid(0, captions.size()),
             main_->ToolbarActions());
    QCOMPARE(main_->ToolbarActions().at(4), main_->CommandAction(Command::Exit));
    // The context menu: the commands in the same order, without spacers,
    // then those on files.
    QList<QAction*> commands = main_->ToolbarActions();
    commands.removeIf([](QAction* a) { return a->isSeparator(); });
    QCOMPARE(Control<PicturePane>(main_, "imgPane")->actions().mid(0, commands.size()), commands);
}

void CommandsTest::eachCommandRunsItsOwnHandler() {
    // A table on a window of its own: each action runs the handler given
    // under its name, and only that one; a command given none is disabled.
    QWidget window;
    std::vector<Command> ran;
    cCommandTable::Handlers handlers;
    const std::vector<Command> all = {Command::Edit, Command::Refresh, Command::Exit, Command::View,
                                      Command::Options};
    for (const Command c : all)
        handlers[c] = [&ran, c] { ran.push_back(c); };
    cCommandTable table(&window, handlers);
    for (const Command c : all) {
        table.Action(c)->trigger();
        QCOMPARE(ran.back(), c);
    }
    QCOMPARE(ran, all);
    QVERIFY(!table.Action(Command::Help)->isEnabled());
    table.Action(Command::Help)->trigger();
    QCOMPARE(ran, all);
}

void CommandsTest::exitQuestion() {
    int asked = 0;
    main_->AskExit = [&] { return ++asked, false; };
    Control<Splitter>(main_, "hSplit")->SetSplitPercent(37);
    QTest::keyClick(Control<FileListView>(main_, "lvFiles")->ReportView(),
                    Qt::Key_Escape); // Esc asks too
    main_->CommandAction(Command::Exit)->trigger();
    main_->close();
    QCOMPARE(asked, 3);
    QVERIFY(main_->isVisible());
    QVERIFY(ReadSettings().empty()); // No changes nothing, the file included

    main_->AskExit = [] { return true; };
    main_->resize(700, 500);
    main_->close();
    QVERIFY(!main_->isVisible());
    std::string bytes = ReadSettings();
    SetupRecord r =
        mSetup::Decode(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    QCOMPARE(int(r.MainWidth), 700 * 15);
    QCOMPARE(int(r.MainHeight), 500 * 15);
    QCOMPARE(int(r.HSplitPercent), 37);
    QCOMPARE(r.MainWindowState, mSetup::kWindowNormal);
    QCOMPARE(r.LastPath, dir_.path().toStdString());

    // Maximised: state 2; minimised: the size, and the state stored before.
    for (const bool minimised : {false, true}) {
        fMain window(state_, setup_, TestDecoderPool());
        window.AskExit = [] { return true; };
        setup_.MainWindowState = 2;
        window.show();
        minimised ? window.showMinimized() : window.showMaximized();
        QCoreApplication::processEvents();
        window.close();
        bytes = ReadSettings();
        r = mSetup::Decode(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
        QCOMPARE(r.MainWindowState, mSetup::kWindowMaximised);
    }
}

void CommandsTest::terminationSavesAndEnds() {
    int asked = 0;
    main_->AskExit = [&] { return ++asked, false; };
    Termination::OnTerminate([this] { main_->ExitWithoutAsking(); });
    ::raise(SIGTERM);
    QTRY_VERIFY(!main_->isVisible());
    QCOMPARE(asked, 0);
    QVERIFY(!ReadSettings().empty());
    Termination::OnTerminate(nullptr);
}

void CommandsTest::fullScreenComesAndGoesAndKeepsTheLayout() {
    // F11 fills the screen and leaves it; the layout saved meanwhile is the
    // window's own size and state, not the screen's.
    QAction* full = main_->CommandAction(Command::FullScreen);
    QCOMPARE(full->shortcut(), QKeySequence(Qt::Key_F11));
    QVERIFY(Control<PicturePane>(main_, "imgPane")->actions().contains(full));
    QVERIFY(!main_->ToolbarActions().contains(full));
    main_->resize(640, 480); // smaller than the screen
    QTRY_COMPARE(main_->size(), QSize(640, 480));
    full->trigger();
    QVERIFY(main_->isFullScreen());
    QTRY_VERIFY(main_->width() > 640);
    main_->AskExit = [] { return true; };
    main_->ExitWithoutAsking();
    QCOMPARE(setup_.MainWidth, mSetup::ToTwipsField(640.0 * kTwipsPerPixel));
    QCOMPARE(setup_.MainHeight, mSetup::ToTwipsField(480.0 * kTwipsPerPixel));
    QCOMPARE(int(setup_.MainWindowState), int(mSetup::kWindowNormal));
}

QTEST_MAIN(CommandsTest)
#include "test_commands.moc"
