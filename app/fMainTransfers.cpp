// The main window's dialogs for copying and moving, and the view's own turn,
// given to its hooks: the folder chooser that remembers this user's last
// destinations, the question for a name the destination holds (an answer
// "for all" kept for the rest of its transfer), the progress with its
// Cancel, and the turn of the preview and the full view for a picture whose
// file cannot be turned.
#include "app/ConflictQuestion.h"
#include "app/DestinationChooser.h"
#include "app/TransferProgress.h"
#include "app/fMain.h"

void fMain::BuildTransferDialogs() {
    ChooseDestination = [this](TransferKind kind, const std::vector<std::string>&) {
        const std::optional<std::string> chosen =
            ::ChooseDestination(this,
                                kind == TransferKind::Copy ? QStringLiteral("Copy to Folder")
                                                           : QStringLiteral("Move to Folder"),
                                destinations_, ListedFolder());
        return chosen ? *chosen : std::string();
    };
    AskConflict = [this](quint64 ticket, const std::string& source, const std::string& existing) {
        const auto kept = conflictForAll_.find(ticket);
        if (kept != conflictForAll_.end()) return kept->second;
        const ConflictAnswer answer = ::AskConflict(this, source, existing);
        if (answer.applyToAll) conflictForAll_[ticket] = answer.choice;
        return answer.choice;
    };
    ShowTransferProgress = [this](quint64 ticket, TransferKind kind, quint64 done, quint64 total,
                                  bool finished) {
        auto it = progress_.find(ticket);
        if (finished) {
            if (it != progress_.end()) {
                if (it->second) {
                    it->second->Finish();
                    it->second->deleteLater();
                }
                progress_.erase(it);
            }
            conflictForAll_.erase(ticket);
            return;
        }
        if (it == progress_.end()) {
            const auto task = fileTasks_.find(ticket);
            const std::size_t files = task == fileTasks_.end() ? 0 : task->second.names.size();
            const bool copy = kind == TransferKind::Copy;
            const QString text = files == 1 ? (copy ? QStringLiteral("Copying 1 file")
                                                    : QStringLiteral("Moving 1 file"))
                                            : (copy ? QStringLiteral("Copying %1 files")
                                                    : QStringLiteral("Moving %1 files"))
                                                  .arg(files);
            auto* shown = new TransferProgress(
                this, copy ? QStringLiteral("Copy to Folder") : QStringLiteral("Move to Folder"),
                text);
            connect(shown, &TransferProgress::cancelRequested, this,
                    [this, ticket] { CancelTransfer(ticket); });
            it = progress_.emplace(ticket, shown).first;
        }
        if (it->second) it->second->Progress(done, total);
    };
    TurnView = [this](::Turn turn) {
        if (preview_.kind() == cPreviewCore::Kind::Gif) return; // the GIF viewer shows no turn
        viewTurn_ = viewTurn_.Then(turn).Normal();
        viewTurnOf_ = preview_.Path();
        imgPane->SetViewTurn(viewTurn_);
        if (fullView_) fullView_->imView->SetViewTurn(viewTurn_);
    };
}

void fMain::ResetViewTurn() {
    if (viewTurn_.Upright() && viewTurnOf_.empty()) return;
    viewTurn_ = {};
    viewTurnOf_.clear();
    imgPane->SetViewTurn({});
}

void fMain::KeepViewTurnInFullView() {
    if (fullView_ && !viewTurnOf_.empty() && viewTurnOf_ == preview_.Path())
        fullView_->imView->SetViewTurn(viewTurn_);
}
