// A status bar of three sunken text panels: the first takes what the other
// two leave, the second and third are at least kFixedPanelWidth wide and
// grow to show their whole text, as long as the first keeps a third of the
// bar. Each panel's tooltip holds its whole text, for one cut all the same.
// The main window's `sbInfo` shows the file name, the image size and a
// GIF's frame count or why a file is not shown.
#pragma once

#include <QLabel>
#include <QWidget>

class StatusPanels : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kPanels = 3;
    static constexpr int kFixedPanelWidth = 110;
    // The first panel (the name) keeps at least this share of the bar.
    static constexpr int kFirstPanelShareDivisor = 3;

    explicit StatusPanels(QWidget* parent = nullptr);

    // Panels 1 to 3.
    QString Text(int panel) const;
    void SetText(int panel, const QString& text);
    QRect PanelRect(int panel) const;

  protected:
    void resizeEvent(QResizeEvent*) override;

  private:
    // The width that shows `panel`'s whole text (0-based).
    int WholeWidth(int panel) const;
    void Arrange();

    QLabel* panels_[kPanels];
};
