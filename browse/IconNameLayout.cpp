#include "browse/IconNameLayout.h"

#include <QFontMetrics>
#include <QTextLayout>

QStringList IconNameLines(const QString& name, const QFont& font, int width) {
    const QFontMetrics metrics(font);
    if (width <= 0 || metrics.horizontalAdvance(name) <= width) return {name};
    // The first line: as much as fits, broken at a word boundary where one
    // falls in it, anywhere otherwise.
    QTextLayout layout(name, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine first = layout.createLine();
    int taken = name.size();
    if (first.isValid()) {
        first.setLineWidth(width);
        taken = std::max(1, first.textLength());
    }
    layout.endLayout();
    const QString rest = name.mid(taken);
    if (rest.isEmpty()) return {name};
    // The second line keeps the name's end; what does not fit goes from its middle.
    return {name.left(taken).trimmed(), metrics.elidedText(rest, Qt::ElideMiddle, width)};
}
