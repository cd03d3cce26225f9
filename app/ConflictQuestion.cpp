#include "app/ConflictQuestion.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QPointer>
#include <QThread>
#include <QVBoxLayout>
#include <memory>
#include <mutex>
#include <optional>

namespace {

QString Shown(const std::string& bytes) {
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}

// "12.4 MB, 08/12/2026 14:03" for a file, as a person compares two.
QString Facts(const std::string& path) {
    const QFileInfo info(Shown(path));
    if (!info.exists()) return QStringLiteral("no longer there");
    const QLocale locale;
    return locale.formattedDataSize(info.size()) + QStringLiteral(", ") +
           locale.toString(info.lastModified(), QLocale::ShortFormat);
}

} // namespace

ConflictQuestion::ConflictQuestion(QWidget* parent, const std::string& source,
                                   const std::string& existing)
    : QDialog(parent) {
    const QFileInfo there(Shown(existing));
    setWindowTitle(QStringLiteral("File Exists"));
    lblQuestion = new QLabel(this);
    lblQuestion->setTextFormat(Qt::PlainText);
    lblQuestion->setWordWrap(true);
    lblQuestion->setText(QStringLiteral("“%1” exists in %2.").arg(there.fileName(), there.path()));
    lblDetails = new QLabel(this);
    lblDetails->setTextFormat(Qt::PlainText);
    lblDetails->setText(QStringLiteral("The one there: %1\nThe one coming: %2")
                            .arg(Facts(existing), Facts(source)));
    chkApplyToAll = new QCheckBox(QStringLiteral("&Apply to all"), this);

    auto* box = new QDialogButtonBox(this);
    const auto button = [box](const char* name, const QString& text,
                              QDialogButtonBox::ButtonRole role) {
        QPushButton* b = box->addButton(text, role);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    cmdSkip = button("cmdSkip", QStringLiteral("&Skip"), QDialogButtonBox::AcceptRole);
    cmdKeepBoth = button("cmdKeepBoth", QStringLiteral("&Keep Both"), QDialogButtonBox::AcceptRole);
    cmdReplace =
        button("cmdReplace", QStringLiteral("&Replace"), QDialogButtonBox::DestructiveRole);
    cmdCancel = button("cmdCancel", QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    cmdSkip->setDefault(true); // Enter never replaces
    connect(cmdSkip, &QPushButton::clicked, this, [this] { Answered(ConflictChoice::Skip); });
    connect(cmdKeepBoth, &QPushButton::clicked, this,
            [this] { Answered(ConflictChoice::KeepBoth); });
    connect(cmdReplace, &QPushButton::clicked, this, [this] { Answered(ConflictChoice::Replace); });
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblQuestion);
    layout->addWidget(lblDetails);
    layout->addWidget(chkApplyToAll);
    layout->addWidget(box);
}

void ConflictQuestion::Answered(ConflictChoice choice) {
    choice_ = choice;
    accept();
}

ConflictAnswer ConflictQuestion::Answer() const {
    // A rejected dialog (Esc, Cancel, closed) is Cancel for the whole transfer.
    if (result() != QDialog::Accepted) return {ConflictChoice::CancelAll, false};
    return {choice_, chkApplyToAll->isChecked()};
}

ConflictAnswer AskConflict(QWidget* parent, const std::string& source,
                           const std::string& existing) {
    ConflictQuestion question(parent, source, existing);
    question.exec();
    return question.Answer();
}

std::function<ConflictChoice(const std::string&, const std::string&)>
ConflictAskerFor(QWidget* window, ConflictAsk ask) {
    struct Shared {
        std::mutex lock;
        std::optional<ConflictChoice> forAll;
    };
    auto shared = std::make_shared<Shared>();
    QPointer<QWidget> target(window);
    return [shared, target, ask = std::move(ask)](const std::string& source,
                                                  const std::string& existing) {
        {
            std::lock_guard<std::mutex> hold(shared->lock);
            if (shared->forAll) return *shared->forAll;
        }
        ConflictAnswer answer; // Cancel, should the window go before it answers
        // The window is looked at on its own thread only, where it may go.
        const auto askNow = [&] {
            if (target) answer = ask(target, source, existing);
        };
        QCoreApplication* app = QCoreApplication::instance();
        if (!app) return ConflictChoice::CancelAll;
        if (QThread::currentThread() == app->thread())
            askNow();
        else // the worker waits for the answer
            QMetaObject::invokeMethod(app, askNow, Qt::BlockingQueuedConnection);
        if (answer.applyToAll && answer.choice != ConflictChoice::CancelAll) {
            std::lock_guard<std::mutex> hold(shared->lock);
            shared->forAll = answer.choice;
        }
        return answer.choice;
    };
}
