// The main window's commands on files: to the trash, deleted for good,
// renamed in the list, copied or moved to a folder, turned, and undone. The
// operations themselves run on the FileActionRunner's worker, in the order
// they were asked for; this file asks the questions first, makes the list,
// the preview and the full view follow at once, and shows what failed. The
// window's thread touches no file here: a name typed is checked against the
// text and the rows listed, the disk has its say on the worker.
#include "app/fMain.h"

#include "browse/PathText.h"
#include "fileops/Rename.h"
#include "platform/Product.h"

#include <QApplication>
#include <QFile>
#include <algorithm>
#include <climits>
#include <cstring>

namespace {

// The most failures a message lists by name; the rest are counted.
constexpr int kFailuresNamed = 12;
// A message open takes later failures until it holds this many characters.
constexpr int kFailureTextMax = 4000;

QString Shown(const std::string& bytes) {
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}

std::string NameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The name of `path` when it lies in `folder` (ending in "/"), else empty.
std::string NameIn(const std::string& folder, const std::string& path) {
    if (path.size() <= folder.size() || path.compare(0, folder.size(), folder) != 0) return {};
    const std::string name = path.substr(folder.size());
    return name.find('/') == std::string::npos ? name : std::string();
}

std::vector<std::string> PathsOf(const std::string& folder, const std::vector<std::string>& names) {
    std::vector<std::string> paths;
    for (const std::string& n : names)
        paths.push_back(folder + n);
    return paths;
}

bool Holds(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

std::vector<FileOutcome> NotDone(const ActionDone& done) {
    std::vector<FileOutcome> left;
    for (const FileOutcome& f : done.files)
        if (!f.Done()) left.push_back(f);
    return left;
}

std::vector<FileOutcome> Failed(const std::vector<FileOutcome>& outcomes) {
    std::vector<FileOutcome> failed;
    for (const FileOutcome& f : outcomes)
        if (f.status == OutcomeStatus::Failed) failed.push_back(f);
    return failed;
}

QString ReasonOf(const FileOutcome& f) {
    if (!f.reason.empty()) return QString::fromStdString(f.reason);
    return f.error != 0 ? QString::fromLocal8Bit(std::strerror(f.error))
                        : QStringLiteral("It could not be done");
}

// Why a name typed for a file is refused, from the text alone: the disk has
// its say when the file is renamed.
QString RefusalOfText(const std::string& name) {
    if (name.empty()) return QStringLiteral("A file name cannot be empty.");
    if (name == "." || name == "..")
        return QStringLiteral("\u201C%1\u201D names a folder, not a file.").arg(Shown(name));
    if (name.find('/') != std::string::npos)
        return QStringLiteral("A file name cannot hold \u201C/\u201D.");
    if (name.find('\0') != std::string::npos)
        return QStringLiteral("A file name cannot hold a NUL character.");
    if (name.size() > NAME_MAX)
        return QStringLiteral("The name is too long: %1 bytes, where %2 is the most.")
            .arg(name.size())
            .arg(NAME_MAX);
    return {};
}

// The question before files are deleted for good.
QString DeleteQuestion(const std::vector<std::string>& names) {
    if (names.size() == 1)
        return QStringLiteral("Delete \u201C%1\u201D permanently?\n"
                              "It does not go to the trash, and this cannot be undone.")
            .arg(Shown(names.front()));
    return QStringLiteral("Delete these %1 files permanently?\n"
                          "They do not go to the trash, and this cannot be undone.")
        .arg(names.size());
}

// The offer when no trash could take files.
QString NoTrashQuestion(const std::vector<FileOutcome>& left) {
    if (left.size() == 1)
        return QStringLiteral("\u201C%1\u201D cannot be moved to the trash: %2.\n"
                              "Delete it permanently? This cannot be undone.")
            .arg(Shown(NameOf(left.front().source)), ReasonOf(left.front()));
    return QStringLiteral("%1 files cannot be moved to the trash: %2.\n"
                          "Delete them permanently? This cannot be undone.")
        .arg(left.size())
        .arg(ReasonOf(left.front()));
}

} // namespace

cCommandTable::Handlers fMain::FileCommandHandlers() {
    return {
        {Command::Trash, [this] { TrashSelected(); }},
        {Command::DeleteForGood, [this] { DeleteSelectedForGood(); }},
        {Command::Undo, [this] { UndoLast(); }},
        {Command::Rename, [this] { RenameSelected(); }},
        {Command::CopyTo, [this] { TransferSelected(TransferKind::Copy); }},
        {Command::MoveTo, [this] { TransferSelected(TransferKind::Move); }},
        {Command::RotateLeft, [this] { TurnChosen(::Turn::Left); }},
        {Command::RotateRight, [this] { TurnChosen(::Turn::Right); }},
        {Command::Flip, [this] { TurnChosen(::Turn::FlipHorizontal); }},
    };
}

void fMain::BuildFileCommands() {
    runner_ = new FileActionRunner(this);
    connect(runner_, &FileActionRunner::Finished, this, &fMain::OnFileActionDone);
    connect(runner_, &FileActionRunner::UndoChanged, this, &fMain::UpdateUndoCommand);
    connect(runner_, &FileActionRunner::Progress, this,
            [this](quint64 ticket, quint64 done, quint64 total) {
                const auto it = fileTasks_.find(ticket);
                if (it != fileTasks_.end() && ShowTransferProgress)
                    ShowTransferProgress(ticket, it->second.transfer, done, total, false);
            });
    runner_->AskConflict = [this](quint64 ticket, const std::string& source,
                                  const std::string& existing) {
        return AskConflict ? AskConflict(ticket, source, existing) : ConflictChoice::Skip;
    };
    UpdateUndoCommand();

    // The list's context menu: on a row, which is selected first when it
    // was not; the selection stays as it is when it was.
    listMenu_ = new QMenu(this);
    listMenu_->setObjectName(QStringLiteral("mnuFiles"));
    listMenu_->addAction(CommandAction(Command::Edit));
    listMenu_->addSeparator();
    listMenu_->addActions(commands_->FileCommands());
    for (QAbstractItemView* v : {static_cast<QAbstractItemView*>(lvFiles->ReportView()),
                                 static_cast<QAbstractItemView*>(lvFiles->IconView())}) {
        v->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(v, &QWidget::customContextMenuRequested, this,
                [this, v](const QPoint& pos) { OnListMenu(v, pos); });
    }
    lvFiles->RenameRequested = [this](int row, const std::string& name) {
        return OnRenameRequested(row, name);
    };

    Confirm = [this](const QString& question) {
        return QMessageBox::question(this, QString::fromLatin1(Product::kName), question,
                                     QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No) == QMessageBox::Yes;
    };
}

std::string fMain::ListedFolder() const {
    std::string folder = sFolder;
    if (!folder.empty()) AddBackslash(folder);
    return folder;
}

bool fMain::FullViewActive() const {
    return fullView_ && fullView_->isVisible() && fullView_->isActiveWindow();
}

std::vector<std::string> fMain::CommandNames() const {
    const std::string folder = ListedFolder();
    if (folder.empty()) return {};
    if (FullViewActive()) {
        if (preview_.Folder() != folder || preview_.Name().empty() ||
            RowOfName(preview_.Name()) < 0)
            return {};
        return {preview_.Name()};
    }
    // A key pressed in the folder tree is not meant for the files listed.
    const QWidget* focus = QApplication::focusWidget();
    if (focus && pictreeview->isAncestorOf(focus)) return {};
    std::vector<std::string> names;
    for (const int row : lvFiles->SelectedRows())
        names.push_back(lvFiles->Model()->Row(row).name);
    return names;
}

void fMain::TrashSelected() {
    const bool inFullView = FullViewActive();
    const std::vector<std::string> names = CommandNames();
    if (names.empty()) return;
    const std::string folder = ListedFolder();
    // No question: the trash is undoable. The rows go now, and come back
    // if the trash could not take their files.
    const quint64 ticket = runner_->MoveToTrash(PathsOf(folder, names));
    fileTasks_[ticket] = {FileTask::Trash, folder, names, inFullView};
    LeaveRows(names, inFullView);
}

void fMain::DeleteSelectedForGood() {
    const bool inFullView = FullViewActive();
    const std::vector<std::string> names = CommandNames();
    if (names.empty() || !Confirm(DeleteQuestion(names))) return;
    const std::string folder = ListedFolder();
    if (folder.empty()) return;
    const quint64 ticket = runner_->Delete(PathsOf(folder, names));
    fileTasks_[ticket] = {FileTask::Delete, folder, names, inFullView};
    LeaveRows(names, inFullView);
}

void fMain::LeaveRows(const std::vector<std::string>& names, bool inFullView) {
    const std::string folder = ListedFolder();
    const int selected = lvFiles->SelectedRow();
    const bool selectionGoes = selected >= 0 && Holds(names, lvFiles->Model()->Row(selected).name);
    const bool chosenGoes = preview_.Folder() == folder && Holds(names, preview_.Name());
    RowChanges gone;
    gone.removed = names;
    FileView.Follow(gone);
    for (const std::string& name : names)
        DropCached(folder + name);
    ShowCount(lvFiles->Model()->rowCount());
    emit listUpdated();
    if (!selectionGoes && !chosenGoes) {
        ReadAhead(); // the neighbours may be others now
        return;
    }
    // The list went on to the next row (the one before at the end): it is
    // the new choice, previewed, and shown in the full view the command came from.
    const int next = lvFiles->SelectedRow();
    if (next >= 0 && !Holds(names, lvFiles->Model()->Row(next).name)) {
        lvFiles->CurrentView()->scrollTo(lvFiles->Model()->index(next, 0));
        ChooseRow(next);
        if (inFullView) RequestFullView();
        return;
    }
    CancelDecodes(false);
    preview_.ChosenRemoved();
    ShowChoice();
    if (inFullView && fullView_) fullView_->close(); // nothing is left to show
}

void fMain::RenameSelected() {
    if (CommandNames().empty()) return;
    const int row = lvFiles->SelectedRow();
    if (row >= 0) lvFiles->EditName(row);
}

QString fMain::OnRenameRequested(int row, const std::string& newName) {
    if (askingRename_) return QStringLiteral("A question about this name is open.");
    const std::string folder = ListedFolder();
    if (folder.empty() || row < 0 || row >= lvFiles->Model()->rowCount()) return {};
    const std::string oldName = lvFiles->Model()->Row(row).name;
    if (newName == oldName) return {}; // nothing to do
    const QString refusal = RefusalOfText(newName);
    if (!refusal.isEmpty()) return refusal;
    const int other = RowOfName(newName);
    if (other >= 0 && other != row)
        return QStringLiteral("\u201C%1\u201D is in this folder already.").arg(Shown(newName));
    if (ExtensionChanges(oldName, newName)) {
        askingRename_ = true;
        const bool yes =
            Confirm(QStringLiteral("Change the name of \u201C%1\u201D to \u201C%2\u201D?\n"
                                   "Its extension changes: the file may then open with "
                                   "another program, or with none.")
                        .arg(Shown(oldName), Shown(newName)));
        askingRename_ = false;
        if (!yes)
            return QStringLiteral("The extension stays: type the name with it, or press Esc.");
    }
    const quint64 ticket = runner_->Rename(folder + oldName, newName);
    fileTasks_[ticket] = {FileTask::Rename, folder, {oldName}};
    return {};
}

void fMain::TransferSelected(TransferKind kind) {
    const std::vector<std::string> names = CommandNames();
    if (names.empty()) return;
    const std::string folder = ListedFolder();
    const std::vector<std::string> paths = PathsOf(folder, names);
    const std::string destination = ChooseDestination ? ChooseDestination(kind, paths) : "";
    if (destination.empty()) return;
    const quint64 ticket = runner_->Transfer(kind, paths, destination);
    FileTaskOf task{FileTask::Transfer, folder, names};
    task.transfer = kind;
    fileTasks_[ticket] = task;
    if (ShowTransferProgress) ShowTransferProgress(ticket, kind, 0, 0, false);
}

void fMain::TurnChosen(::Turn turn) {
    const std::string folder = ListedFolder();
    std::string name;
    if (preview_.Folder() == folder && !preview_.Name().empty() && RowOfName(preview_.Name()) >= 0)
        name = preview_.Name();
    else if (const int row = lvFiles->SelectedRow(); row >= 0 && !FullViewActive())
        name = lvFiles->Model()->Row(row).name;
    if (folder.empty() || name.empty()) return;
    const quint64 ticket = runner_->Turn(folder + name, turn);
    FileTaskOf task{FileTask::Turn, folder, {name}, FullViewActive()};
    task.turn = turn;
    fileTasks_[ticket] = task;
}

void fMain::UndoLast() {
    if (!runner_->CanUndo()) return;
    fileTasks_[runner_->Undo()] = {FileTask::Undo, ListedFolder(), {}};
}

void fMain::UpdateUndoCommand() {
    QAction* undo = CommandAction(Command::Undo);
    undo->setEnabled(runner_->CanUndo());
    // "Undo Move to Trash" as the menu shows it, its letter marked.
    const QString text = QString::fromStdString(runner_->UndoText());
    undo->setText(text.startsWith(QStringLiteral("Undo")) ? QStringLiteral("&") + text
                                                          : QStringLiteral("&Undo"));
}

void fMain::OnListMenu(QAbstractItemView* view, const QPoint& pos) {
    const QModelIndex index = view->indexAt(pos);
    if (!index.isValid()) return;
    const std::vector<int> selected = lvFiles->SelectedRows();
    if (std::find(selected.begin(), selected.end(), index.row()) == selected.end()) {
        lvFiles->SelectRow(index.row(), false, false);
        if (!IsChosen(index.row())) ChooseRow(index.row());
    }
    listMenu_->popup(view->viewport()->mapToGlobal(pos));
}

void fMain::OnFileActionDone(quint64 ticket, const ActionDone& done) {
    const auto it = fileTasks_.find(ticket);
    if (it == fileTasks_.end()) return;
    const FileTaskOf task = std::move(it->second);
    fileTasks_.erase(it);
    switch (task.task) {
    case FileTask::Trash:
    case FileTask::Delete:
        FinishRemoval(task, done);
        break;
    case FileTask::Turn:
        FinishTurn(task, done);
        break;
    case FileTask::Rename:
        FollowOutcomes(task, done);
        ShowFileFailures(QStringLiteral("Not renamed"), Failed(done.files));
        break;
    case FileTask::Transfer:
        if (ShowTransferProgress) ShowTransferProgress(ticket, task.transfer, 0, 0, true);
        FollowOutcomes(task, done);
        ShowFileFailures(task.transfer == TransferKind::Copy ? QStringLiteral("Not copied")
                                                             : QStringLiteral("Not moved"),
                         Failed(done.files));
        break;
    case FileTask::Undo:
        FollowOutcomes(task, done);
        ShowFileFailures(QStringLiteral("Not undone"), Failed(done.files));
        break;
    }
    emit fileActionFollowed(ticket);
}

void fMain::FinishRemoval(const FileTaskOf& task, const ActionDone& done) {
    const std::vector<FileOutcome> left = NotDone(done);
    if (left.empty()) return;
    std::vector<std::string> names;
    for (const FileOutcome& f : left)
        if (const std::string name = NameIn(task.folder, f.source); !name.empty())
            names.push_back(name);
    const bool here = task.folder == ListedFolder();
    if (task.task == FileTask::Trash && done.noTrash) {
        // No trash can take them: deleting them for good is the user's call.
        if (Confirm(NoTrashQuestion(left))) {
            std::vector<std::string> paths;
            for (const FileOutcome& f : left)
                paths.push_back(f.source);
            fileTasks_[runner_->Delete(paths)] = {FileTask::Delete, task.folder, names};
            return;
        }
        if (here) FileView.Recheck(names);
        return;
    }
    // Their rows come back as the disk has them.
    if (here) FileView.Recheck(names);
    ShowFileFailures(task.task == FileTask::Trash ? QStringLiteral("Not moved to the trash")
                                                  : QStringLiteral("Not deleted"),
                     Failed(left));
}

void fMain::FinishTurn(const FileTaskOf& task, const ActionDone& done) {
    if (done.viewOnly) {
        const bool stillChosen = preview_.Folder() == task.folder &&
                                 Holds(task.names, preview_.Name()) &&
                                 preview_.kind() != cPreviewCore::Kind::Gif;
        if (stillChosen && TurnView) TurnView(task.turn);
        sbInfo->SetText(3,
                        TurnView && stillChosen
                            ? QStringLiteral("Turned in the view only: the file is unchanged")
                            : QStringLiteral("Only a JPEG file is turned: the file is unchanged"));
        return;
    }
    FollowOutcomes(task, done);
    ShowFileFailures(QStringLiteral("Not turned"), Failed(done.files));
}

void fMain::FollowOutcomes(const FileTaskOf& task, const ActionDone& done) {
    const std::string folder = ListedFolder();
    if (task.folder != folder) return; // another folder is listed now
    RowChanges renamed;
    std::vector<std::string> gone, recheck, rewritten;
    for (const FileOutcome& f : done.files) {
        if (!f.Done()) continue;
        const std::string from = NameIn(folder, f.source), to = NameIn(folder, f.result);
        if (done.kind == ActionKind::Copy) { // the source stays as it was
            if (!to.empty()) recheck.push_back(to);
        } else if (!from.empty() && !to.empty() && from != to) {
            const int row = RowOfName(from);
            if (row < 0) {
                recheck.push_back(to);
                continue;
            }
            FileRow now = lvFiles->Model()->Row(row);
            now.name = to;
            renamed.renamed.emplace_back(from, now);
        } else if (!from.empty() && !to.empty()) {
            rewritten.push_back(from);
        } else if (!from.empty()) {
            gone.push_back(from);
        } else if (!to.empty()) {
            recheck.push_back(to);
        }
    }
    if (!renamed.Empty()) {
        // The chosen file renamed is the same picture: it stays shown (a GIF
        // plays on) under its new name.
        FileView.Follow(renamed);
        OnFolderChanged(renamed);
    }
    if (!gone.empty()) LeaveRows(gone, task.fromFullView && FullViewOpen());
    // A file rewritten in place (turned) is decoded again; its row and its
    // thumbnail follow as the disk has them now.
    for (const std::string& name : rewritten) {
        DropCached(folder + name);
        if (preview_.Folder() != folder || preview_.Name() != name) continue;
        ChooseRow(RowOfName(name));
        if (FullViewOpen()) RequestFullView();
    }
    if (task.task == FileTask::Undo && !recheck.empty()) {
        // What an undo brought back is chosen once its row is listed.
        restored_ = recheck.front();
        restoredFolder_ = folder;
        restoredToFullView_ = FullViewOpen();
        ChooseRestored(); // listed already (the watcher was first)
    }
    recheck.insert(recheck.end(), rewritten.begin(), rewritten.end());
    if (!recheck.empty()) FileView.Recheck(recheck);
}

void fMain::ChooseRestored() {
    if (restored_.empty() || restoredFolder_ != ListedFolder() || RowOfName(restored_) < 0) return;
    const std::string name = std::exchange(restored_, {});
    ChooseFile(name);
    if (restoredToFullView_ && FullViewOpen()) RequestFullView();
}

void fMain::ShowFileFailures(const QString& headline, const std::vector<FileOutcome>& failed) {
    if (failed.empty()) return;
    QStringList lines;
    for (const FileOutcome& f : failed) {
        if (lines.size() == kFailuresNamed) {
            lines << QStringLiteral("and %1 more").arg(failed.size() - kFailuresNamed);
            break;
        }
        lines << QStringLiteral("%1: %2").arg(Shown(NameOf(f.source)), ReasonOf(f));
    }
    const QString text = headline + QStringLiteral(":\n") + lines.join(QLatin1Char('\n'));
    sbInfo->SetText(3, failed.size() == 1 ? lines.front() : headline);
    // One message at a time, waiting for nobody: later failures join it.
    if (failureBox_ && failureBox_->isVisible()) {
        if (failureBox_->text().size() < kFailureTextMax)
            failureBox_->setText(failureBox_->text() + QStringLiteral("\n\n") + text);
        return;
    }
    failureBox_ = new QMessageBox(QMessageBox::Warning, QString::fromLatin1(Product::kName), text,
                                  QMessageBox::Ok, this);
    failureBox_->setObjectName(QStringLiteral("msgFileFailure"));
    failureBox_->setAttribute(Qt::WA_DeleteOnClose);
    failureBox_->setWindowModality(Qt::NonModal);
    failureBox_->show();
}
