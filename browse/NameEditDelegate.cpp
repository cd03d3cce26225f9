#include "browse/NameEditDelegate.h"

#include <QApplication>
#include <QKeyEvent>
#include <QScopedValueRollback>

QLineEdit* NameEditDelegate::Editor() const {
    return editor_ && !editor_->isHidden() ? editor_.data() : nullptr;
}

void NameEditDelegate::Cancel() {
    if (QLineEdit* editor = Editor()) Close(editor);
}

int NameEditDelegate::StemLength(const QString& name) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    // A name that starts with its only dot (".profile") has no extension.
    return dot > 0 ? int(dot) : int(name.size());
}

QWidget* NameEditDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                        const QModelIndex& index) const {
    auto* editor = new QLineEdit(parent);
    editor->setObjectName(QStringLiteral("nameEditor"));
    editor_ = editor;
    editing_ = index;
    original_.clear();
    return editor;
}

void NameEditDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    auto* line = qobject_cast<QLineEdit*>(editor);
    // Set once: the row changing on disk while the name is typed leaves the text typed.
    if (!line || line->property("named").toBool()) return;
    line->setProperty("named", true);
    original_ = index.data(Qt::DisplayRole).toString();
    line->setText(original_);
}

void NameEditDelegate::SelectStem() {
    if (QLineEdit* editor = Editor()) editor->setSelection(0, StemLength(editor->text()));
}

bool NameEditDelegate::eventFilter(QObject* watched, QEvent* event) {
    auto* editor = qobject_cast<QLineEdit*>(watched);
    if (!editor || editor != editor_) return QStyledItemDelegate::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            Submit(editor);
            return true;
        }
        if (key == Qt::Key_Escape) {
            Close(editor);
            return true;
        }
        // Tab would take the name to the next row: the name stays in its editor.
        return key == Qt::Key_Tab || key == Qt::Key_Backtab;
    }
    case QEvent::FocusOut: {
        // The focus within the editor, or on its own context menu, stays with it.
        for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget())
            if (w == editor) return false;
        if (asking_ || QApplication::activePopupWidget()) return false;
        Close(editor);
        return false;
    }
    case QEvent::Move:
    case QEvent::Resize:
        PlaceRefusal();
        return false;
    case QEvent::Hide:
        if (refusal_) refusal_->deleteLater();
        return false;
    default:
        return false;
    }
}

void NameEditDelegate::Submit(QLineEdit* editor) {
    const QString text = editor->text();
    if (!editing_.isValid() || text == original_ || !Commit) {
        Close(editor);
        return;
    }
    const QPointer<QLineEdit> kept = editor; // the answer may change the rows
    QString refusal;
    {
        const QScopedValueRollback asking(asking_, true);
        refusal = Commit(editing_.row(), text);
    }
    if (!kept || kept->isHidden()) return;
    if (refusal.isEmpty()) {
        Close(editor);
        return;
    }
    Refuse(editor, refusal);
    editor->setFocus();
}

void NameEditDelegate::Close(QLineEdit* editor) {
    if (refusal_) refusal_->deleteLater();
    emit closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
}

void NameEditDelegate::Refuse(QLineEdit* editor, const QString& why) {
    if (!refusal_) {
        refusal_ = new QLabel(editor->parentWidget());
        refusal_->setObjectName(QStringLiteral("nameRefusal"));
        // Drawn as a tooltip is, but it stays until the editor closes.
        refusal_->setForegroundRole(QPalette::ToolTipText);
        refusal_->setBackgroundRole(QPalette::ToolTipBase);
        refusal_->setAutoFillBackground(true);
        refusal_->setFrameShape(QFrame::Box);
        refusal_->setMargin(2);
        // The view may close the editor itself (its row gone): the words go with it.
        connect(editor, &QObject::destroyed, refusal_, &QObject::deleteLater);
    }
    refusal_->setText(why);
    refusal_->adjustSize();
    editor->setToolTip(why);
    PlaceRefusal();
    refusal_->show();
    refusal_->raise();
}

void NameEditDelegate::PlaceRefusal() {
    if (!refusal_ || !editor_) return;
    const QRect at = editor_->geometry();
    const QWidget* room = refusal_->parentWidget();
    QPoint place = at.bottomLeft() + QPoint(0, 1);
    if (room && place.y() + refusal_->height() > room->height())
        place.setY(at.top() - refusal_->height() - 1);
    if (room) place.setX(std::max(0, std::min(place.x(), room->width() - refusal_->width())));
    refusal_->move(place);
}
