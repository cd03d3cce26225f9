#include "app/mStartup.h"

#include "app/fMain.h"
#include "app/mSetup.h"
#include "app/mSetupUi.h"
#include "browse/mDirTreeview.h"
#include "controls/fSplash.h"
#include "platform/Platform.h"
#include "platform/Termination.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTimer>
#include <filesystem>
#include <memory>

std::string TrimSpaces(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    const std::size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

namespace {

// A new user's first folder: their Pictures folder (the desktop's user
// dirs), else their home.
std::string NewUsersFolder() {
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    return mSetup::FirstStartFolder(QFile::encodeName(pictures).toStdString(),
                                    QFile::encodeName(QDir::homePath()).toStdString());
}

} // namespace

namespace mStartup {

void Main(SetupRecord& setup, const StartRequest& request) {
    // A request to end before the main window exists: nothing has changed, so
    // nothing is saved. A warning about the settings file has no one to read it.
    bool endedEarly = false;
    Termination::OnTerminate([&endedEarly] {
        endedEarly = true;
        if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    // No settings file yet: a new user, who starts among their pictures.
    std::error_code missing;
    const bool firstStart =
        !std::filesystem::exists(std::filesystem::symlink_status(mSetup::SettingsPath(), missing));
    setup = mSetup::LoadSettings();
    Platform::PumpEvents();
    if (endedEarly) {
        Termination::OnTerminate(nullptr);
        return;
    }

    BrowsingState browsing;
    // The decoder helpers live as long as the window that uses them.
    DecoderPool pool;
    auto main = std::make_unique<fMain>(browsing, setup, pool);
    // SIGTERM or the session ending: nobody can answer the exit question.
    Termination::OnTerminate([window = main.get()] { window->ExitWithoutAsking(); });

    auto splash = std::make_unique<fSplash>();
    splash->show();
    main->SetSizeTwips(setup.MainWidth, setup.MainHeight);

    // Block for events rather than spin; a splash that closed early is ready.
    // A request to end while it shows has saved the settings: nothing is shown.
    while (!splash->ReadyToClose() && !main->Finished())
        Platform::WaitForEvents();

    if (!main->Finished()) {
        main->show();
        Platform::PumpEvents();
    }
    splash->close();
    splash.reset();
    if (main->Finished()) {
        Termination::OnTerminate(nullptr);
        return;
    }

    const bool asked =
        request.kind == StartRequest::Kind::Folder || request.kind == StartRequest::Kind::File;
    std::string start = asked        ? request.folder
                        : firstStart ? NewUsersFolder()
                                     : TrimSpaces(setup.LastPath);
    AddBackslash(start);
    // A file asked for is chosen by the listing of its folder, which the tree starts.
    if (request.kind == StartRequest::Kind::File) main->ChooseFile(request.file);
    // A path that could not be used says so in the window too, not only on stderr.
    if (!request.error.empty()) main->ShowNotice(QString::fromStdString(request.error));
    mDirTreeview::ShowFolderTree(browsing, start);
    Termination::OnTerminate(nullptr);
}

} // namespace mStartup
