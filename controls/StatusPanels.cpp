#include "controls/StatusPanels.h"

#include <QFont>
#include <algorithm>
#include <cstdint>

StatusPanels::StatusPanels(QWidget* parent) : QWidget(parent) {
    QFont font(QStringLiteral("Verdana"));
    font.setPointSize(8);
    for (QLabel*& p : panels_) {
        p = new QLabel(this);
        p->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        p->setFont(font);
        p->setTextFormat(Qt::PlainText);
        p->setContentsMargins(3, 0, 3, 0);
    }
}

QString StatusPanels::Text(int panel) const {
    return panel >= 1 && panel <= kPanels ? panels_[panel - 1]->text() : QString();
}

void StatusPanels::SetText(int panel, const QString& text) {
    if (panel < 1 || panel > kPanels) return;
    panels_[panel - 1]->setText(text);
    panels_[panel - 1]->setToolTip(text);
    Arrange();
}

QRect StatusPanels::PanelRect(int panel) const {
    return panel >= 1 && panel <= kPanels ? panels_[panel - 1]->geometry() : QRect();
}

void StatusPanels::resizeEvent(QResizeEvent*) {
    Arrange();
}

int StatusPanels::WholeWidth(int panel) const {
    return panels_[panel]->sizeHint().width(); // the text, its indent, margins and frame
}

void StatusPanels::Arrange() {
    const int w = width(), h = height();
    int second = std::max(kFixedPanelWidth, WholeWidth(1));
    int third = std::max(kFixedPanelWidth, WholeWidth(2));
    const int room = w - w / kFirstPanelShareDivisor; // what the name leaves
    if (second + third > room) {                      // each gives up in proportion to its width
        second = int(int64_t(room) * second / (second + third));
        third = room - second;
    }
    const int first = w - second - third;
    panels_[0]->setGeometry(0, 0, first, h);
    panels_[1]->setGeometry(first, 0, second, h);
    panels_[2]->setGeometry(first + second, 0, third, h);
}
