// A cell of the file list whose name is edited in place: the list's report
// view draws its cells with it, and the large-icon view's cells
// (IconDelegate) derive from it. The editor opens with the name selected up
// to its extension; Enter hands the text to `Commit`, which answers with a
// refusal to show beside the editor (the editor stays open with the text
// typed) or nothing (the editor closes). Esc, or the focus going elsewhere,
// closes it with nothing asked. The model's rows never change here: a file
// is renamed on disk, and its row follows from there.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QStyledItemDelegate>
#include <functional>

class NameEditDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    explicit NameEditDelegate(QObject* parent = nullptr) : QStyledItemDelegate(parent) {}

    // `row`'s name typed: a refusal in words a person reads, or empty when
    // taken. It may ask the user first (a dialog): the editor stays open
    // while it runs, and has the focus again after a refusal.
    std::function<QString(int row, const QString& name)> Commit;

    // The editor open, or null.
    QLineEdit* Editor() const;
    // Closes the editor open with nothing done.
    void Cancel();
    // Selects the name in the editor just opened up to its extension (the
    // view selects all of an editor's text as it opens it).
    void SelectStem();
    // How much of `name` the editor selects first: all but its extension.
    static int StemLength(const QString& name);

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    // Names change on disk, never in the model.
    void setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const override {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Submit(QLineEdit* editor);
    void Close(QLineEdit* editor);
    // Shows `why` beside the editor, below it where there is room.
    void Refuse(QLineEdit* editor, const QString& why);
    void PlaceRefusal();

    mutable QPointer<QLineEdit> editor_;
    mutable QPersistentModelIndex editing_;
    mutable QString original_; // the name as the editor opened with it
    bool asking_ = false;      // Commit runs: a question it asks may take the focus
    QPointer<QLabel> refusal_;
};
