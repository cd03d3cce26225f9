// Draws a cell of the large-icon view: the row's picture (its thumbnail, or
// its type icon until then and for good where it has none) centred in a
// square above its name, which takes up to two lines (IconNameLines). The
// name is edited in place where it is drawn.
#pragma once

#include "browse/NameEditDelegate.h"

#include <QImage>
#include <functional>

class IconDelegate : public NameEditDelegate {
    Q_OBJECT
  public:
    static constexpr int kPadding = 4;
    static constexpr int kTextGap = 4;
    static constexpr int kNameLines = 2;

    explicit IconDelegate(QObject* parent = nullptr) : NameEditDelegate(parent) {}

    // Where thumbnails come from: the row's picture, or a null image.
    void SetThumbnails(std::function<QImage(int row)> thumbnails) {
        thumbnails_ = std::move(thumbnails);
    }
    // The side of the square the picture is drawn in, in logical pixels.
    void SetIconSide(int side) { side_ = side; }
    int IconSide() const { return side_; }
    // The size of a cell for `font`.
    QSize CellSize(const QFont& font) const;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // The name's editor over the first line of the name, the cell's width.
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;

  private:
    // Where the name is drawn in `cell`.
    QRect NameRect(const QRect& cell) const;

    std::function<QImage(int row)> thumbnails_;
    int side_ = 32;
};
