// The about window: the product's name, version and description, an OK
// button and a button that starts the desktop's system information tool.
// Modeless, owned by the main window.
#pragma once

#include <QLabel>
#include <QPushButton>
#include <QWidget>
#include <functional>

class fAbout : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kInnerWidthTwips = 5730;
    static constexpr int kInnerHeightTwips = 3555;
    static constexpr int kMajor = 1, kMinor = 0, kRevision = 0;
    static constexpr const char* kUnavailable = "System Information Is Unavailable At This Time";

    explicit fAbout(QWidget* owner = nullptr);

    // Finds the system information tool and starts it, or says it cannot.
    void StartSysInfo();

    QLabel* lblTitle;
    QLabel* lblVersion;
    QLabel* lblDescription;
    QLabel* lblDisclaimer;
    QLabel* picIcon;
    QPushButton* cmdOK;
    QPushButton* cmdSysInfo;

    // Shows a message; a message box unless replaced (tests).
    std::function<void(const QString&)> Message;
    // Starts a program detached; false when it cannot be started.
    std::function<bool(const QString&)> Start;

  protected:
    void keyPressEvent(QKeyEvent* e) override; // Esc closes
    void paintEvent(QPaintEvent*) override;
};
