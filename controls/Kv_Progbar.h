// A small progress bar: a filled child pane (`picBar`) whose width follows
// `Value` in proportion to `Max`, with a 3D edge around the bar and, if asked,
// around the control. The main window keeps one, hidden, over the third
// panel of its status bar.
#pragma once

#include <QWidget>
#include <cstdint>

class Kv_Progbar : public QWidget {
    Q_OBJECT
  public:
    static constexpr uint32_t kButtonFace = 0x8000000F;
    static constexpr int kBarInset = 2;

    explicit Kv_Progbar(QWidget* parent = nullptr);

    int32_t Min() const { return min_; }
    void SetMin(int32_t New_Min) { min_ = New_Min; }
    int32_t Max() const { return max_; }
    void SetMax(int32_t New_Max) { max_ = New_Max; }
    int32_t Value() const { return value_; }
    void SetValue(int32_t New_Value);
    uint32_t BackColor() const { return backColor_; }
    void SetBackColor(uint32_t New_BackColor);
    uint32_t Barcolor() const { return barColor_; }
    void SetBarcolor(uint32_t New_Barcolor);
    int32_t Barstyle() const { return barStyle_; }
    void SetBarstyle(int32_t New_Barstyle) { barStyle_ = New_Barstyle; }
    int32_t BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(int32_t New_BorderStyle);
    int32_t BarOffset() const { return barOffset_; }
    void SetBarOffset(int32_t New_BarOffset) { barOffset_ = New_BarOffset; }

    QWidget* picBar;

  protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    void DrawBar();

    int32_t min_ = 0, max_ = 100, value_ = 0;
    uint32_t backColor_ = kButtonFace, barColor_ = kButtonFace;
    int32_t barStyle_ = 0, borderStyle_ = 0, barOffset_ = 0;
};
