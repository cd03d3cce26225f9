// The help window: a fixed text of usage hints, opened from the toolbar,
// modeless and owned by the main window.
#pragma once

#include <QLabel>
#include <QWidget>

class fHelp : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kInnerWidthTwips = 4680;
    static constexpr int kInnerHeightTwips = 5040;
    // The FreeImage library's home page, named in the text.
    static constexpr const char* kFreeImageUrl = "https://freeimage.sourceforge.io";

    explicit fHelp(QWidget* owner = nullptr);

    // The help text exactly as composed: its line breaks are single CR characters.
    static QString HelpText();

    QLabel* lblhelp;

  protected:
    void keyPressEvent(QKeyEvent* e) override; // Esc closes
};
