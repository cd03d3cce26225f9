// The main window's commands: the toolbar, the About and Visit buttons,
// handing files and addresses to the desktop, the view switch, the options,
// help and about windows, and the exit question.
#include "app/fMain.h"

#include "browse/mDirTreeview.h"
#include "platform/Product.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QUrl>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace {

// Starts the desktop's opener on a path whose bytes do not survive a trip
// through text; the child is reaped in the background. False when there is
// no opener to start.
bool SpawnOpener(const std::string& path) {
    char opener[] = "xdg-open";
    std::string arg = path;
    char* argv[] = {opener, arg.data(), nullptr};
    pid_t pid = 0;
    if (::posix_spawnp(&pid, opener, nullptr, nullptr, argv, environ) != 0) return false;
    std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();
    return true;
}

// The desktop has no program to open `what` (a file's name or an address):
// said in a message box that waits for nobody, over `owner` when there is one.
void SayNoOpener(QWidget* owner, const QString& what) {
    auto* box = new QMessageBox(QMessageBox::Warning, QString::fromLatin1(Product::kName),
                                QStringLiteral("No program was found to open \u201C%1\u201D.\n"
                                               "Install one, or choose one for this kind of "
                                               "file or address in the desktop's settings.")
                                    .arg(what),
                                QMessageBox::Ok, owner);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

} // namespace

void fMain::BuildToolbar() {
    tbrMain = new QToolBar(this);
    tbrMain->setMovable(false);
    tbrMain->setFixedHeight(kToolbarHeight);
    tbrMain->setIconSize(QSize(kToolIconSide, kToolIconSide));
    tbrMain->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    cCommandTable::Handlers handlers = {
        {Command::Edit, [this] { OpenInEditor(); }},
        {Command::Refresh,
         [this] { // the list and the tree's branch down to the folder, as the disk has them now
             nPathchange();
             mDirTreeview::RefreshBranch(state_, state_.sCurrentPath);
         }},
        {Command::Exit, [this] { close(); }}, // asks first
        {Command::View, [this] { ViewSwitch(); }},
        {Command::Options, [this] { ShowOptions(); }},
        {Command::Help, [this] { ShowHelp(); }},
        {Command::FullScreen, [this] { ToggleFullScreen(); }},
    };
    handlers.merge(FileCommandHandlers());
    commands_ = new cCommandTable(this, handlers);
    commands_->FillToolBar(tbrMain);
    auto* stretch = new QWidget;
    stretch->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    tbrMain->addWidget(stretch);
    // The count takes the width its text needs, so that it stays in view
    // beside the buttons in a narrow window.
    picCount = new QWidget;
    auto* countLayout = new QHBoxLayout(picCount);
    countLayout->setContentsMargins(0, 0, kCountMargin, 0);
    lblCount = new QLabel(picCount);
    lblCount->setAlignment(Qt::AlignVCenter | Qt::AlignRight);
    countLayout->addWidget(lblCount);
    tbrMain->addWidget(picCount);

    AskExit = [this] {
        return QMessageBox::question(this, QStringLiteral("Confirm Exit"),
                                     QStringLiteral("Are you sure you want to quit?"),
                                     QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::Yes) == QMessageBox::Yes;
    };
    OpenFile = [this](const std::string& path) {
        const QString shown = QFile::decodeName(QByteArray::fromStdString(path));
        const bool started = QFile::encodeName(shown).toStdString() == path
                                 ? QDesktopServices::openUrl(QUrl::fromLocalFile(shown))
                                 : SpawnOpener(path);
        if (!started) SayNoOpener(this, QFileInfo(shown).fileName());
    };
}

void fMain::OpenInEditor() {
    if (preview_.Name().empty()) return;
    OpenFile(preview_.Path());
}

void fMain::ShellOpen(const std::string& what) {
    // What the program started runs on by itself; one that could not start
    // is said over the window the command came from.
    const QString text = QString::fromStdString(what);
    if (!QDesktopServices::openUrl(QUrl(text))) SayNoOpener(QApplication::activeWindow(), text);
}

void fMain::ViewSwitch() {
    if (!lvFiles->IsLargeIconView()) {
        lvFiles->SetLargeIconView(true);
        FileView.AssignSysIL(); // the large icons; a failure changes nothing
    } else {
        lvFiles->SetLargeIconView(false);
    }
    thumbnails_->SetActive(lvFiles->IsLargeIconView());
}

fOptions* fMain::ShowOptions() {
    if (!options_) options_ = new fOptions(setup_, hSplit, this);
    options_->show();
    options_->raise();
    options_->activateWindow();
    return options_;
}

fHelp* fMain::ShowHelp() {
    if (!help_) help_ = new fHelp(this);
    help_->show();
    help_->raise();
    help_->activateWindow();
    return help_;
}

fAbout* fMain::ShowAbout() {
    if (!about_) about_ = new fAbout(this);
    about_->show();
    about_->raise();
    about_->activateWindow();
    return about_;
}

void fMain::ExitWithoutAsking() {
    // A question still open has no one to answer it.
    if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    exiting_ = true;
    close();
}

void fMain::ToggleFullScreen() {
    QWidget* window = FullViewActive() ? static_cast<QWidget*>(fullView_) : this;
    window->setWindowState(window->windowState() ^ Qt::WindowFullScreen);
}
