// The window shown while the program starts: product name, publisher line and
// a legal notice over an etched separator. It stays up for at least the delay
// of `tmrDelay`; start-up waits for `ReadyToClose` before showing the main
// window. Losing the focus closes it at once; a closed splash counts as ready.
#pragma once

#include <QLabel>
#include <QTimer>
#include <QWidget>

class fSplash : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kInnerWidth = 400;
    static constexpr int kInnerHeight = 250;
    static constexpr int kDelayMs = 2000;
    static constexpr int kSeparatorY = 186;
    static constexpr int kSeparatorInset = 10;

    explicit fSplash(QWidget* parent = nullptr);

    bool ReadyToClose() const { return ready_ || closed_; }
    bool IsClosed() const { return closed_; }

    QLabel* lblprogramname;
    QLabel* lblcompanyname;
    QLabel* lblLegal;
    QTimer tmrDelay;

  protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void changeEvent(QEvent*) override;
    void closeEvent(QCloseEvent*) override;

  private:
    void OnDelay();
    bool ready_ = false;
    bool closed_ = false;
    bool wasActive_ = false;
};
