// The main window's commands: the toolbar, the About and Visit buttons,
// handing files and addresses to the desktop, the view switch, the options,
// help and about windows, and the exit question.
#include "app/fMain.h"

#include "controls/Product.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QMessageBox>
#include <QPainter>
#include <QUrl>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

// The toolbar's own icons live in the app library's resources; a static
// library's resources must be registered by code that is linked in.
static void InitIconResources() {
    Q_INIT_RESOURCE(icons);
}

namespace {

struct ToolbarButton {
    const char* caption; // empty: a button without caption or command
    const char* tooltip;
    const char* themeIcon;
    const char* ownIcon;
};

const ToolbarButton kButtons[fMain::kToolbarButtons] = {
    {"", "", "", ""},
    {"&Edit", "Open selected image in default image editor", "document-edit", "edit"},
    {"&Refresh", "Refresh File List", "view-refresh", "refresh"},
    {"", "", "", ""},
    {"E&xit", "Exit Program", "application-exit", "exit"},
    {"", "", "", ""},
    {"&View", "Change File List View", "view-list-icons", "view"},
    {"&Options", "Program Options", "preferences-system", "options"},
    {"&Help", "Help", "help-contents", "help"},
};

// The theme's icon, or ours; a lighter copy is shown while the mouse is over it.
QIcon ButtonIcon(const ToolbarButton& b) {
    QIcon base = QIcon::fromTheme(QString::fromLatin1(b.themeIcon));
    if (base.isNull()) base = QIcon(QStringLiteral(":/icons/%1.xpm").arg(QLatin1String(b.ownIcon)));
    const QPixmap normal = base.pixmap(24, 24);
    QPixmap hover = normal;
    QPainter p(&hover);
    p.setCompositionMode(QPainter::CompositionMode_SourceAtop);
    p.fillRect(hover.rect(), QColor(255, 255, 255, 90));
    p.end();
    QIcon icon;
    icon.addPixmap(normal, QIcon::Normal);
    icon.addPixmap(hover, QIcon::Active);
    return icon;
}

// Starts the desktop's opener on a path whose bytes do not survive a trip
// through text; the child is reaped in the background.
void SpawnOpener(const std::string& path) {
    char opener[] = "xdg-open";
    std::string arg = path;
    char* argv[] = {opener, arg.data(), nullptr};
    pid_t pid = 0;
    if (::posix_spawnp(&pid, opener, nullptr, nullptr, argv, environ) == 0)
        std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();
}

} // namespace

void fMain::BuildToolbar() {
    InitIconResources();
    tbrMain = new QToolBar(this);
    tbrMain->setMovable(false);
    tbrMain->setFixedHeight(kToolbarHeight);
    tbrMain->setIconSize(QSize(24, 24));
    tbrMain->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    for (int i = 0; i < kToolbarButtons; ++i) {
        const ToolbarButton& b = kButtons[i];
        QAction* a;
        if (*b.caption) {
            a = tbrMain->addAction(ButtonIcon(b), QString::fromLatin1(b.caption));
            a->setToolTip(QString::fromLatin1(b.tooltip));
        } else {
            a = tbrMain->addSeparator(); // captionless: a spacer that does nothing
        }
        const int index = i + 1;
        connect(a, &QAction::triggered, this, [this, index] { OnToolbarButton(index); });
        toolButtons_[i] = a;
    }
    auto* stretch = new QWidget;
    stretch->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    tbrMain->addWidget(stretch);
    picCount = new QWidget;
    lblCount = new QLabel(picCount);
    lblCount->setGeometry(0, 0, 160, kToolbarHeight);
    lblCount->setAlignment(Qt::AlignVCenter | Qt::AlignRight);
    picCount->setFixedSize(170, kToolbarHeight);
    tbrMain->addWidget(picCount);

    AskExit = [this] {
        return QMessageBox::question(this, QStringLiteral("Confirm Exit"),
                                     QStringLiteral("Are you sure you want to quit?"),
                                     QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::Yes) == QMessageBox::Yes;
    };
    OpenFile = [](const std::string& path) {
        const QString shown = QFile::decodeName(QByteArray::fromStdString(path));
        if (QFile::encodeName(shown).toStdString() == path)
            QDesktopServices::openUrl(QUrl::fromLocalFile(shown));
        else
            SpawnOpener(path);
    };
}

void fMain::OnToolbarButton(int index) {
    switch (index) {
    case 2:
        OpenInEditor();
        break;
    case 3:
        nPathchange();
        break;
    case 5:
        close(); // asks first
        break;
    case 7:
        ViewSwitch();
        break;
    case 8:
        ShowOptions();
        break;
    case 9:
        ShowHelp();
        break;
    default: // 1, 4 and 6 have no command
        break;
    }
}

void fMain::OpenInEditor() {
    if (sSelFile.empty()) return;
    OpenFile(sSelFolder + sSelFile);
}

void fMain::ShellOpen(const std::string& what) {
    QDesktopServices::openUrl(QUrl(QString::fromStdString(what))); // failures are ignored
}

void fMain::ViewSwitch() {
    if (!lvFiles->IsLargeIconView()) {
        lvFiles->SetLargeIconView(true);
        FileView.AssignSysIL(); // the large icons; a failure changes nothing
    } else {
        lvFiles->SetLargeIconView(false);
    }
}

fOptions* fMain::ShowOptions() {
    if (!options_) options_ = new fOptions(hSplit, this);
    options_->show();
    options_->raise();
    options_->activateWindow();
    return options_;
}

fHelp* fMain::ShowHelp() {
    if (!help_) help_ = new fHelp(this);
    help_->show();
    help_->raise();
    return help_;
}

fAbout* fMain::ShowAbout() {
    if (!about_) about_ = new fAbout(this);
    about_->show();
    about_->raise();
    return about_;
}

void fMain::ExitWithoutAsking() {
    // A question still open has no one to answer it.
    if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    exiting_ = true;
    close();
}
