// A status bar of three sunken text panels: the first takes what the other
// two leave, the second and third have fixed widths. The main window's
// `sbInfo` shows the file name, the image size and a GIF's frame count.
#pragma once

#include <QLabel>
#include <QWidget>

class StatusPanels : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kPanels = 3;
    static constexpr int kFixedPanelWidth = 110;

    explicit StatusPanels(QWidget* parent = nullptr);

    // Panels 1 to 3.
    QString Text(int panel) const;
    void SetText(int panel, const QString& text);
    QRect PanelRect(int panel) const;

  protected:
    void resizeEvent(QResizeEvent*) override;

  private:
    QLabel* panels_[kPanels];
};
