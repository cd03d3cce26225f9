#include "controls/StatusPanels.h"

#include <QFont>
#include <algorithm>

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
    if (panel >= 1 && panel <= kPanels) panels_[panel - 1]->setText(text);
}

QRect StatusPanels::PanelRect(int panel) const {
    return panel >= 1 && panel <= kPanels ? panels_[panel - 1]->geometry() : QRect();
}

void StatusPanels::resizeEvent(QResizeEvent*) {
    const int w = width(), h = height();
    const int fixed = std::min(kFixedPanelWidth, w / 3);
    const int first = w - 2 * fixed;
    panels_[0]->setGeometry(0, 0, first, h);
    panels_[1]->setGeometry(first, 0, fixed, h);
    panels_[2]->setGeometry(first + fixed, 0, fixed, h);
}
