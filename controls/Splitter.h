// A container that lays out two children side by side or stacked, with a bar
// between them that the left mouse button drags to share the space anew. The
// share is a fraction of the control's size, so the children keep their
// proportions as the control resizes. Lengths are in twips (15 a pixel),
// converted to pixels only where a child is moved. The main window nests two:
// `hSplit` (folder tree and file list) inside `vSplit` (that and the preview).
#pragma once

#include <QPointer>
#include <QRectF>
#include <QWidget>
#include <cstdint>

class Splitter : public QWidget {
    Q_OBJECT
  public:
    static constexpr float kMinFraction = 0.001f;
    static constexpr float kMaxFraction = 0.999f;
    static constexpr uint8_t kDefaultSplitPercent = 50;
    static constexpr uint8_t kDefaultSplitterWidth = 50;
    static constexpr uint32_t kButtonFace = 0x8000000F;

    explicit Splitter(QWidget* parent = nullptr);

    // Non-zero: stacked (reads back -1); 0: side by side.
    int32_t Orientation() const { return orientation_ ? -1 : 0; }
    void SetOrientation(int32_t New_Orientation);
    QWidget* Child1() const { return child1_; }
    void SetChild1(QWidget* New_Child1);
    QWidget* Child2() const { return child2_; }
    void SetChild2(QWidget* New_Child2);
    // The fraction x 100, rounded halves to even.
    uint8_t SplitPercent() const;
    // Stored as value / 100 without a range check.
    void SetSplitPercent(int New_SplitPercent);
    float Fraction() const { return fraction_; }
    uint8_t SplitterWidth() const { return splitterWidth_; }
    void SetSplitterWidth(uint8_t New_SplitterWidth) { splitterWidth_ = New_SplitterWidth; }
    uint32_t SplitterColor() const { return splitterColor_; }
    void SetSplitterColor(uint32_t New_SplitterColor) { splitterColor_ = New_SplitterColor; }

    QWidget* SplitterBar() const { return bar_; }
    // Where the last layout or drag put each part, in twips.
    QRectF Child1Twips() const { return child1Twips_; }
    QRectF Child2Twips() const { return child2Twips_; }
    QRectF BarTwips() const { return barTwips_; }
    // The colour the bar shows now, as a colour value.
    uint32_t BarColor() const;

    void Layout();

  signals:
    void Resize();

  protected:
    void resizeEvent(QResizeEvent*) override;
    void paintEvent(QPaintEvent*) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    double WidthTwips() const;
    double HeightTwips() const;
    void MoveTwips(QWidget* w, const QRectF& twips);
    void UpdateCursor();

    bool orientation_ = false;
    QPointer<QWidget> child1_, child2_;
    float fraction_ = kDefaultSplitPercent / 100.0f;
    uint8_t splitterWidth_ = kDefaultSplitterWidth;
    uint32_t splitterColor_ = 0;
    bool exactColor_ = false; // the bar shows SplitterColor exactly (pressed, released)
    QWidget* bar_;
    QRectF child1Twips_, child2Twips_, barTwips_;
};
