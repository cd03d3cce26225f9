// The folder a Copy to or a Move to goes to: a dialog listing the folders
// this user chose last (most recent first), one taken by a double click, by
// Enter or by OK, and "Other folder…" for any other, through the desktop's
// folder dialog. The folder chosen either way is remembered at the front of
// the list. With no folder remembered yet, the folder dialog opens at once.
// A remembered folder that is gone (a drive taken out) shows, greyed, and
// cannot be taken.
#pragma once

#include "app/DestinationList.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <functional>
#include <optional>
#include <string>

class DestinationChooser : public QDialog {
    Q_OBJECT
  public:
    // Asks for any folder, starting in `start`; nothing when the person
    // cancelled. The desktop's folder dialog unless replaced (tests).
    using FolderAsker = std::function<std::optional<std::string>(
        QWidget* parent, const QString& title, const std::string& start)>;
    static std::optional<std::string> AskFolder(QWidget* parent, const QString& title,
                                                const std::string& start);

    // Lists `recent` as it is now (the caller loads it). "Other folder…"
    // starts in `startFolder`, else in the most recent folder.
    DestinationChooser(QWidget* parent, const QString& title, const DestinationList& recent,
                       const std::string& startFolder);

    // The folder taken, once the dialog was accepted.
    const std::optional<std::string>& Chosen() const { return chosen_; }
    // The folder a row of the list stands for.
    static std::string PathOf(const QListWidgetItem* item);

    QLabel* lblRecent;
    QListWidget* lstRecent;    // one row a remembered folder, most recent first
    QPushButton* cmdOther;     // "Other folder…"
    QDialogButtonBox* buttons; // OK takes the current row; Cancel
    FolderAsker askFolder = AskFolder;

  private:
    void TakeCurrent();
    void TakeOther();
    void UpdateOk();

    QString title_;
    std::string start_;
    std::optional<std::string> chosen_;
};

// Asks for a destination as above (modal), `recent` read again from its file
// first; a folder chosen is remembered there. Nothing when cancelled.
std::optional<std::string> ChooseDestination(QWidget* parent, const QString& title,
                                             DestinationList& recent,
                                             const std::string& startFolder);
