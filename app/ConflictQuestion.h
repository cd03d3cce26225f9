// The question for a name the destination folder holds already: "“NAME”
// exists in FOLDER.", with what each of the two files is (size, time of
// change), and Skip, Keep Both, Replace and Cancel, and "Apply to all" for
// the names still to come. Skip is the default button; Esc and closing the
// window are Cancel. Nothing is replaced unless Replace is clicked.
#pragma once

#include "fileops/Transfer.h"

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <functional>
#include <string>

struct ConflictAnswer {
    ConflictChoice choice = ConflictChoice::CancelAll;
    bool applyToAll = false; // the same answer for the rest of this transfer
};

class ConflictQuestion : public QDialog {
    Q_OBJECT
  public:
    // `source`: the file being copied or moved; `existing`: the file of the
    // same name in the destination.
    ConflictQuestion(QWidget* parent, const std::string& source, const std::string& existing);

    // The button clicked, Cancel until one is.
    ConflictAnswer Answer() const;

    QLabel* lblQuestion;
    QLabel* lblDetails;
    QPushButton* cmdSkip;
    QPushButton* cmdKeepBoth;
    QPushButton* cmdReplace;
    QPushButton* cmdCancel;
    QCheckBox* chkApplyToAll;

  private:
    void Answered(ConflictChoice choice);

    ConflictChoice choice_ = ConflictChoice::CancelAll;
};

// Asks the question (modal) on the calling thread, the window's.
ConflictAnswer AskConflict(QWidget* parent, const std::string& source, const std::string& existing);

// For TransferOptions::onConflict: asks on the thread of `window` whatever
// thread calls it (a transfer's worker waits for the answer), once an
// answer was given "to all", gives that for the rest without asking. Cancel
// when the window is gone. `ask` is AskConflict unless replaced (tests).
using ConflictAsk =
    std::function<ConflictAnswer(QWidget* parent, const std::string&, const std::string&)>;
std::function<ConflictChoice(const std::string& source, const std::string& existing)>
ConflictAskerFor(QWidget* window, ConflictAsk ask = AskConflict);
