#include "app/cCommandTable.h"

#include <QApplication>
#include <QImage>
#include <QKeySequence>
#include <QPainter>
#include <QToolBar>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <optional>

// The toolbar's own icons live in the app library's resources; a static
// library's resources must be registered by code that is linked in.
static void InitIconResources() {
    Q_INIT_RESOURCE(icons);
}

namespace {

// How a command looks and which keys reach it.
struct Description {
    Command command;
    const char* caption;
    const char* tooltip;
    QKeySequence::StandardKey desktopKey; // the desktop's own key, where it has one
    QKeyCombination plainKey;             // a key of ours beside it (none: {})
    const char* themeIcon;
    const char* ownIcon;
};

constexpr auto kNoStandard = QKeySequence::UnknownKey;

const Description kCommands[] = {
    {Command::Edit, "&Edit", "Open selected image in default image editor", kNoStandard,
     QKeyCombination(), "document-edit", "edit"},
    {Command::Refresh, "&Refresh", "Refresh File List", QKeySequence::Refresh,
     QKeyCombination(Qt::Key_F5), "view-refresh", "refresh"},
    {Command::Exit, "E&xit", "Exit Program", QKeySequence::Quit,
     QKeyCombination(Qt::CTRL | Qt::Key_Q), "application-exit", "exit"},
    {Command::View, "&View", "Change File List View", kNoStandard, QKeyCombination(),
     "view-list-icons", "view"},
    {Command::Options, "&Options", "Program Options", QKeySequence::Preferences, QKeyCombination(),
     "preferences-system", "options"},
    {Command::Help, "&Help", "Help", QKeySequence::HelpContents, QKeyCombination(Qt::Key_F1),
     "help-contents", "help"},
    // The commands on files: the keys image browsers and file managers use.
    {Command::Trash, "Move to &Trash", "Move the selected files to the trash", kNoStandard,
     QKeyCombination(Qt::Key_Delete), "user-trash", nullptr},
    {Command::DeleteForGood, "&Delete Permanently",
     "Delete the selected files permanently, after a question", kNoStandard,
     QKeyCombination(Qt::SHIFT | Qt::Key_Delete), "edit-delete", nullptr},
    {Command::Undo, "&Undo", "Undo the last operation on files", kNoStandard,
     QKeyCombination(Qt::CTRL | Qt::Key_Z), "edit-undo", nullptr},
    {Command::Rename, "Re&name", "Rename the selected file in the list", kNoStandard,
     QKeyCombination(Qt::Key_F2), "edit-rename", nullptr},
    {Command::CopyTo, "&Copy to Folder...", "Copy the selected files to a folder", kNoStandard,
     QKeyCombination(Qt::CTRL | Qt::SHIFT | Qt::Key_C), "edit-copy", nullptr},
    {Command::MoveTo, "&Move to Folder...", "Move the selected files to a folder", kNoStandard,
     QKeyCombination(Qt::CTRL | Qt::SHIFT | Qt::Key_M), "go-jump", nullptr},
    {Command::RotateLeft, "Rotate &Left", "Turn the picture a quarter to the left", kNoStandard,
     QKeyCombination(Qt::CTRL | Qt::Key_L), "object-rotate-left", nullptr},
    {Command::RotateRight, "Rotate Ri&ght", "Turn the picture a quarter to the right", kNoStandard,
     QKeyCombination(Qt::CTRL | Qt::Key_R), "object-rotate-right", nullptr},
    {Command::Flip, "&Flip Horizontally", "Mirror the picture left to right", kNoStandard,
     QKeyCombination(Qt::CTRL | Qt::SHIFT | Qt::Key_H), "object-flip-horizontal", nullptr},
    {Command::FullScreen, "F&ull Screen", "Fill the screen with the window, or leave it",
     QKeySequence::FullScreen, QKeyCombination(Qt::Key_F11), "view-fullscreen", nullptr},
};

// The toolbar left to right; an empty place is a spacer between groups.
const std::optional<Command> kToolbar[] = {
    std::nullopt, Command::Edit, Command::Refresh, std::nullopt,  Command::Exit,
    std::nullopt, Command::View, Command::Options, Command::Help,
};

// The context menus' commands on files; an empty place is a separator.
const std::optional<Command> kFileMenu[] = {
    Command::Rename,     Command::CopyTo,        Command::MoveTo, std::nullopt,
    Command::RotateLeft, Command::RotateRight,   Command::Flip,   std::nullopt,
    Command::Trash,      Command::DeleteForGood, std::nullopt,    Command::Undo,
};

bool OnToolbar(Command command) {
    return std::find(std::begin(kToolbar), std::end(kToolbar), command) != std::end(kToolbar);
}

constexpr int kIconSide = 24;
constexpr int kHoverLightAlpha = 90;

// The theme's icon, or ours; a lighter copy is shown while the mouse is over it.
QIcon CommandIcon(const Description& c) {
    const qreal ratio = qApp->devicePixelRatio();
    QIcon base = QIcon::fromTheme(QString::fromLatin1(c.themeIcon));
    QPixmap normal;
    if (!base.isNull()) {
        normal = base.pixmap(QSize(kIconSide, kIconSide), ratio);
    } else if (!c.ownIcon) {
        return {}; // a command of the menus only: its caption says enough
    } else {
        // Ours exist at one size: on a screen of a higher ratio each pixel
        // becomes a block of whole pixels, sharp, rather than a blur.
        const QImage own(QStringLiteral(":/icons/%1.xpm").arg(QLatin1String(c.ownIcon)));
        const int times = std::max(1, int(std::ceil(ratio)));
        normal = QPixmap::fromImage(
            own.scaled(own.size() * times, Qt::IgnoreAspectRatio, Qt::FastTransformation));
        normal.setDevicePixelRatio(times);
    }
    QPixmap hover = normal;
    QPainter p(&hover);
    p.setCompositionMode(QPainter::CompositionMode_SourceAtop);
    p.fillRect(hover.rect(), QColor(255, 255, 255, kHoverLightAlpha));
    p.end();
    QIcon icon;
    icon.addPixmap(normal, QIcon::Normal);
    icon.addPixmap(hover, QIcon::Active);
    return icon;
}

// Alt and the letter after "&": the tool button's own mnemonic answers it.
QKeySequence MnemonicKey(const Description& c) {
    return QKeySequence::mnemonic(QString::fromLatin1(c.caption));
}

// A command has a key of ours (an empty combination is Key_unknown).
bool HasPlainKey(const Description& c) {
    return c.plainKey.key() != Qt::Key_unknown && c.plainKey.toCombined() != 0;
}

// A key of ours that some command of the table takes as its own.
bool TakenByTable(const QKeySequence& key) {
    return std::any_of(std::begin(kCommands), std::end(kCommands), [&](const Description& c) {
        return HasPlainKey(c) && QKeySequence(c.plainKey) == key;
    });
}

// The desktop's key and ours, without repeats. A desktop key that another
// command takes as its own is left to that command (the desktop's Refresh
// also answers Ctrl+R, which image browsers give to turning right).
QList<QKeySequence> CommandKeys(const Description& c) {
    QList<QKeySequence> keys;
    if (c.desktopKey != kNoStandard)
        for (const QKeySequence& k : QKeySequence::keyBindings(c.desktopKey))
            if (!keys.contains(k) && (k == QKeySequence(c.plainKey) || !TakenByTable(k))) keys << k;
    if (HasPlainKey(c) && !keys.contains(QKeySequence(c.plainKey)))
        keys << QKeySequence(c.plainKey);
    return keys;
}

} // namespace

cCommandTable::cCommandTable(QWidget* window, const Handlers& handlers) : QObject(window) {
    InitIconResources();
    for (const Description& c : kCommands) {
        auto* a = new QAction(window);
        const auto given = handlers.find(c.command);
        Row& row = rows_[c.command];
        row.action = a;
        if (given != handlers.end()) row.handler = given->second;
        a->setText(QString::fromLatin1(c.caption));
        // A tool button shows its icon text; with the "&" kept, the letter is
        // underlined and Alt with it presses the button.
        a->setIconText(a->text());
        a->setIcon(CommandIcon(c));
        const QList<QKeySequence> keys = CommandKeys(c);
        a->setShortcuts(keys);
        a->setShortcutContext(Qt::WindowShortcut);
        // Alt and the letter presses a tool button; in a menu the letter
        // works only while the menu is open, so it is not named.
        QStringList names;
        if (OnToolbar(c.command)) names << MnemonicKey(c).toString(QKeySequence::NativeText);
        for (const QKeySequence& k : keys)
            names << k.toString(QKeySequence::NativeText);
        a->setToolTip(QString::fromLatin1(c.tooltip) + QStringLiteral(" (") +
                      names.join(QStringLiteral(", ")) + QLatin1Char(')'));
        a->setEnabled(bool(row.handler));
        window->addAction(a); // the keys work wherever the focus is in the window
        connect(a, &QAction::triggered, window, [handler = row.handler] {
            if (handler) handler();
        });
    }
    // The commands in a row's order, a separator for each empty place.
    const auto lay = [&](const auto& places, QList<QAction*>& into) {
        for (const std::optional<Command>& place : places) {
            if (place) {
                into << Action(*place);
                continue;
            }
            auto* spacer = new QAction(window);
            spacer->setSeparator(true);
            into << spacer;
        }
    };
    lay(kToolbar, toolbar_);
    lay(kFileMenu, files_);
}

QList<QAction*> cCommandTable::Commands() const {
    QList<QAction*> list;
    for (QAction* a : toolbar_)
        if (!a->isSeparator()) list << a;
    return list;
}

void cCommandTable::FillToolBar(QToolBar* toolbar) const {
    toolbar->addActions(toolbar_);
}
