#include "browse/IconDelegate.h"

#include "browse/IconNameLayout.h"

#include <QApplication>
#include <QFontMetrics>
#include <QIcon>
#include <QPainter>
#include <QStyle>

namespace {

// Type icons are drawn at most this large: a 16- or 32-pixel icon blown up
// to a thumbnail's square would only be blurred.
constexpr int kTypeIconSide = 64;

} // namespace

QSize IconDelegate::CellSize(const QFont& font) const {
    const QFontMetrics metrics(font);
    const int width = side_ + 2 * kPadding + 2 * kTextGap;
    return {std::max(width, metrics.averageCharWidth() * 12),
            kPadding + side_ + kTextGap + kNameLines * metrics.lineSpacing() + kPadding};
}

QSize IconDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return CellSize(option.font);
}

QRect IconDelegate::NameRect(const QRect& cell) const {
    const int top = cell.top() + kPadding + side_ + kTextGap;
    return {cell.left() + kPadding, top, cell.width() - 2 * kPadding, cell.bottom() + 1 - top};
}

void IconDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                        const QModelIndex&) const {
    QRect place = NameRect(option.rect);
    place.setHeight(editor->sizeHint().height());
    editor->setGeometry(place);
}

void IconDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                         const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
    // The selection and focus background of the whole cell, as the style
    // draws it (an icon view's style would mark only the text's place).
    opt.text.clear();
    opt.icon = QIcon();
    opt.showDecorationSelected = true;
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, opt.widget);

    const QRect cell = option.rect;
    const QRect square(cell.left() + (cell.width() - side_) / 2, cell.top() + kPadding, side_,
                       side_);
    painter->save();
    const QImage thumbnail = thumbnails_ ? thumbnails_(index.row()) : QImage();
    if (!thumbnail.isNull()) {
        // Fitted into the square, never enlarged past its pixels at the
        // screen's ratio, so a thumbnail is drawn pixel for pixel.
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        QSizeF size = QSizeF(thumbnail.size()) / ratio;
        if (size.width() > side_ || size.height() > side_)
            size.scale(side_, side_, Qt::KeepAspectRatio);
        const QRectF target(square.center().x() - size.width() / 2 + 0.5,
                            square.bottom() + 1 - size.height(), size.width(), size.height());
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
        painter->drawImage(target, thumbnail);
    } else {
        QIcon icon = index.data(Qt::DecorationRole).value<QIcon>();
        if (icon.isNull()) icon = style->standardIcon(QStyle::SP_FileIcon, &opt, opt.widget);
        const int side = std::min(side_, kTypeIconSide);
        const QRect place(square.center().x() - side / 2 + 1, square.bottom() + 1 - side, side,
                          side);
        icon.paint(painter, place);
    }

    const QRect text = NameRect(cell);
    const QStringList lines =
        IconNameLines(index.data(Qt::DisplayRole).toString(), opt.font, text.width());
    const bool selected = opt.state & QStyle::State_Selected;
    painter->setPen(
        opt.palette.color(opt.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled,
                          selected ? QPalette::HighlightedText : QPalette::Text));
    painter->setFont(opt.font);
    const int line = QFontMetrics(opt.font).lineSpacing();
    for (int i = 0; i < lines.size(); ++i)
        painter->drawText(QRect(text.left(), text.top() + i * line, text.width(), line),
                          Qt::AlignHCenter | Qt::AlignTop, lines[i]);
    painter->restore();
}
