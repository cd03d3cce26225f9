#include "app/DestinationChooser.h"

#include "platform/Files.h"

#include <QFile>
#include <QFileDialog>
#include <QVBoxLayout>

namespace {

// The path's bytes, kept on the row as they are: a name that is no valid
// UTF-8 still names its folder.
constexpr int kPathRole = Qt::UserRole;
// Wide enough for a usual path; the dialog may be made wider.
constexpr int kListWidth = 460;

QString Shown(const std::string& bytes) {
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}

// A row of the list is one line: a line break in a folder's name shows as a
// return sign.
QString OneLine(const std::string& bytes) {
    return Shown(bytes).replace(QLatin1Char('\n'), QChar(0x21B5));
}

} // namespace

std::optional<std::string> DestinationChooser::AskFolder(QWidget* parent, const QString& title,
                                                         const std::string& start) {
    const QString folder = QFileDialog::getExistingDirectory(parent, title, Shown(start));
    if (folder.isEmpty()) return std::nullopt;
    return QFile::encodeName(folder).toStdString();
}

DestinationChooser::DestinationChooser(QWidget* parent, const QString& title,
                                       const DestinationList& recent,
                                       const std::string& startFolder)
    : QDialog(parent), title_(title), start_(startFolder) {
    setWindowTitle(title);
    lblRecent = new QLabel(QStringLiteral("&Recent folders:"), this);
    lstRecent = new QListWidget(this);
    lstRecent->setObjectName(QStringLiteral("lstRecent"));
    lstRecent->setMinimumWidth(kListWidth);
    lblRecent->setBuddy(lstRecent);
    for (const std::string& path : recent.Paths()) {
        auto* item = new QListWidgetItem(OneLine(path), lstRecent);
        item->setData(kPathRole, QByteArray::fromStdString(path));
        item->setToolTip(item->text());
        if (!Files::IsFolder(path)) item->setFlags(Qt::NoItemFlags); // gone: shown, not taken
    }
    if (start_.empty() && !recent.Paths().empty()) start_ = recent.Paths().front();
    cmdOther = new QPushButton(QStringLiteral("&Other folder…"), this);
    cmdOther->setObjectName(QStringLiteral("cmdOther"));
    cmdOther->setAutoDefault(false);
    buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->addButton(cmdOther, QDialogButtonBox::ActionRole);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblRecent);
    layout->addWidget(lstRecent);
    layout->addWidget(buttons);

    // Double click and Enter on a row take it.
    connect(lstRecent, &QListWidget::itemActivated, this, &DestinationChooser::TakeCurrent);
    connect(lstRecent, &QListWidget::currentItemChanged, this, &DestinationChooser::UpdateOk);
    connect(buttons, &QDialogButtonBox::accepted, this, &DestinationChooser::TakeCurrent);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(cmdOther, &QPushButton::clicked, this, &DestinationChooser::TakeOther);

    for (int row = 0; row < lstRecent->count(); ++row)
        if (lstRecent->item(row)->flags() & Qt::ItemIsEnabled) {
            lstRecent->setCurrentRow(row);
            break;
        }
    UpdateOk();
}

std::string DestinationChooser::PathOf(const QListWidgetItem* item) {
    return item ? item->data(kPathRole).toByteArray().toStdString() : std::string();
}

void DestinationChooser::UpdateOk() {
    const QListWidgetItem* item = lstRecent->currentItem();
    buttons->button(QDialogButtonBox::Ok)->setEnabled(item && (item->flags() & Qt::ItemIsEnabled));
}

void DestinationChooser::TakeCurrent() {
    const QListWidgetItem* item = lstRecent->currentItem();
    if (!item || !(item->flags() & Qt::ItemIsEnabled)) return;
    chosen_ = PathOf(item);
    accept();
}

void DestinationChooser::TakeOther() {
    if (std::optional<std::string> folder = askFolder(this, title_, start_)) {
        chosen_ = std::move(folder);
        accept();
    }
}

std::optional<std::string> ChooseDestination(QWidget* parent, const QString& title,
                                             DestinationList& recent,
                                             const std::string& startFolder) {
    recent.Load();
    std::optional<std::string> chosen;
    if (recent.Paths().empty()) {
        chosen = DestinationChooser::AskFolder(parent, title, startFolder);
    } else {
        DestinationChooser dialog(parent, title, recent, startFolder);
        if (dialog.exec() == QDialog::Accepted) chosen = dialog.Chosen();
    }
    if (chosen) recent.Remember(*chosen);
    return chosen;
}
