// The animated GIF viewer control: loads a GIF into its own document, plays it
// with each frame's delay and disposal (the stepping is `GifAnimation`), and
// paints the composed picture into its client area, at natural size and
// centred when it fits, shrunk to fit with its proportions kept when it does
// not. The main window's preview (`ucGIF1`) and the full view (`ucGIFView`)
// each hold one; the full view shows the preview's document, shared, rather
// than reading the file again (it may have changed or gone since).
//
// In the full view the user controls playing (`SetUserControl`): Space
// pauses and plays, ',' and '.' step one frame back and forward, '[' and ']'
// halve and double the speed, and an overlay shows the frame and the speed
// for a second after each. Key frames are kept there so that a step back
// composes from the nearest one; the preview keeps none, it only plays on.
//
// A picture shrunk to fit is composed at the size shown, in the screen's
// own pixels (`GifAnimation`'s sampled buffers): a full-HD GIF in a small
// pane costs the pane's pixels a frame, not the GIF's. After the size
// changes the new buffers are made once it settles, at once when the frame
// shown can be composed again within `Limits::resampleBudget`, else when the loop
// starts over; until then the buffers there are drawn stretched. Under the user's
// control the whole screen is composed, for the key frames.
//
// The frame shown next is decoded ahead on a worker thread (`GifDecodeAhead`)
// while the one before shows, so that a step of the timer only composes and
// paints. A step due before its frame is decoded waits for it (the event the
// worker posts), rather than decoding it a second time here.
#pragma once

#include "gif/GifAnimation.h"
#include "gif/GifDecodeAhead.h"
#include "gif/cGIF.h"
#include "viewers/GifControls.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QRect>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

class ucGIFViewer : public QWidget {
    Q_OBJECT
  public:
    static constexpr uint32_t kDefaultBackColor = 0x8000000F; // the button face
    // How long the overlay shows after a key.
    static constexpr int kOverlayMs = 1000;
    struct Limits {
        // Memory the key frames of a viewer under the user's control may take.
        std::size_t keyFrameBytes = GifAnimation::kKeyFrameBytes;
        // The most work (`GifAnimation::ComposeCost`, pixels) spent at once to
        // show the frame shown at a new size: about a tenth of a second.
        uint64_t resampleBudget = uint64_t(16) << 20;
        // Of the documents the viewer reads itself.
        cGIF::Limits document;
    };

    explicit ucGIFViewer(QWidget* parent = nullptr);
    ucGIFViewer(QWidget* parent, Limits limits);
    ~ucGIFViewer() override;

    bool LoadFromFile(const std::string& FileName);
    // The document of a GIF file with its first frame decoded (the others
    // are decoded as they are drawn), or null when it cannot be shown: a
    // screen no buffer can hold is refused before any frame is decoded, and
    // so is a file none of whose frames may hold pixels. No widget is
    // touched: any thread may call it, and hand the document to one viewer
    // (or a viewer and its full view) on the window's thread.
    static std::shared_ptr<cGIF> ReadDocument(const std::string& FileName,
                                              cGIF::Limits limits = {});
    // Shows a document read by `ReadDocument` (null: a failed load, the last
    // picture stays), from its first frame.
    bool ShowDocument(std::shared_ptr<cGIF> document);
    // Shows the document `other` holds (shared, not read again), from its first frame.
    bool ShowDocumentOf(const ucGIFViewer& other);
    // GIF bytes stored among the program's Qt resources as ":/Type/ID".
    bool LoadFromResource(const QString& ResourceID, const QString& ResourceType);
    void Play();
    void Pause();
    void Rewind();
    void NextFrame();
    void Destroy();

    // The user's control of playing, with key frames kept for stepping back.
    void SetUserControl(bool on);
    bool UserControl() const { return userControl_; }
    // Does what a key (a character code) asks while the user controls
    // playing; false for a key that does nothing here.
    bool ControlKey(int16_t KeyAscii);
    // Pauses, or plays from the frame shown.
    void TogglePlay();
    // Pauses and shows the frame `delta` frames on (back stops at frame 1).
    void StepFrame(int delta);
    const GifControls& Controls() const { return controls_; }
    // The frame the picture shows now (0 before the first).
    int16_t GIFShownFrame() const { return int16_t(anim_->Shown()); }
    QString OverlayText() const { return overlay_->text(); }
    bool OverlayVisible() const { return overlay_->isVisible(); }
    // Memory the key frames hold.
    std::size_t KeyFrameBytes() const { return anim_->KeyFrameBytes(); }

    bool GIFLoaded() const { return frameCount_ > 0; }
    int GIFWidth() const { return gif_->ScreenWidth(); }
    int GIFHeight() const { return gif_->ScreenHeight(); }
    int16_t GIFFrames() const { return frameCount_; }
    int16_t GIFCurrentFrame() const { return int16_t(anim_->CurrentFrame()); }
    StdPicture GIFCurrentFrameImage() const {
        return anim_->HasBuffers() ? display().Image() : nullptr;
    }
    bool GIFIsPlaying() const { return tmrDelay.isActive(); }

    bool AutoPlay() const { return autoPlay_; }
    void SetAutoPlay(bool New_AutoPlay) { autoPlay_ = New_AutoPlay; }
    uint32_t BackColor() const { return backColor_; }
    void SetBackColor(uint32_t New_BackColor);
    // 0 none; 1 fixed single (a sunken edge two pixels wide).
    int16_t BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(int16_t New_BorderStyle);
    bool enabled() const { return isEnabled(); }
    void Setenabled(bool New_enabled) { setEnabled(New_enabled); }

    // Where the display buffer is painted, in client pixels.
    QRect FitRect() const { return fit_; }
    // A new size waits for the loop to start over: the frame shown was too
    // much work to compose again at once. The buffers there are drawn
    // stretched until then.
    bool NewSizeWaitsForLoop() const { return resamplePending_; }
    // How long the frame shown waits, at the speed chosen (the timer itself
    // may wait less, to keep the GIF's pace).
    int TimerInterval() const { return frameInterval_; }
    const cDIB& DisplayBuffer() const { return display(); }
    // Memory this viewer's picture holds: the two buffers, the key frames,
    // the frames decoded now and the file's bytes (a shared document counts
    // in each).
    std::size_t HeldBytes() const;
    const Limits& ViewerLimits() const { return limits_; }

  signals:
    void Click();
    void DblClick();
    void KeyPress(int16_t& KeyAscii);
    void MouseDown(int16_t& Button, int16_t& Shift, float& X, float& Y);
    void MouseMove(int16_t& Button, int16_t& Shift, float& X, float& Y);
    void MouseUp(int16_t& Button, int16_t& Shift, float& X, float& Y);
    void GIFFrameRendered(int16_t Frame);

  protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseDoubleClickEvent(QMouseEvent*) override;
    void keyPressEvent(QKeyEvent*) override;

  private:
    const cDIB& display() const { return anim_->Display(); }
    // A new, empty document (the one shown so far may be shared with another viewer).
    void NewDocument();
    static std::shared_ptr<cGIF> DocumentOf(std::shared_ptr<const std::vector<uint8_t>> bytes,
                                            cGIF::Limits limits);
    bool LoadDocument(std::shared_ptr<cGIF> document, bool loaded);
    void StartDisplay(bool play);
    // The timer's tick: a step, unless its frame is still being decoded ahead.
    void Tick();
    // The worker finished a frame: the step that waited for it is taken.
    void DecodeArrived();
    // Hands the document the frame decoded ahead, if it is the one due.
    void TakeDecoded(int frame);
    // Asks the worker for the frame due next, when it has no pixels yet.
    void DecodeAhead();
    void AnimationStep();
    // Sets the timer for the frame after the one just drawn.
    void ScheduleNext(int32_t interval);
    // Sets how long the frame shown waits, the timer counting it from now.
    void SetFrameInterval(int32_t interval);
    // Repaints the part of the picture the last step or seek changed.
    void RepaintChanged();
    // The timer interval of the frame shown, at the speed chosen.
    int32_t ShownInterval() const;
    // Shows the overlay for a moment, or brings its text up to date while it shows.
    void ShowOverlay();
    void UpdateOverlay();
    void ComputeFit();
    // The size to compose at: the fit in the screen's pixels, or 0 x 0 for
    // the whole screen (under the user's control).
    QSize ShownSize() const;
    // Makes the buffers for the size shown now, if that gives other buffers:
    // at once when cheap, else when the loop starts over.
    void Resample();
    bool CreateBuffers();
    QRect ClientRect() const;
    void RaiseMouse(QMouseEvent* e, int which);

    Limits limits_;
    std::shared_ptr<cGIF> gif_;
    std::unique_ptr<GifAnimation> anim_; // steps *gif_
    // Decodes the frame due next; a tick waits for it (`stepAwaits_`).
    std::unique_ptr<GifDecodeAhead> ahead_;
    bool stepAwaits_ = false;
    int16_t frameCount_ = 0;
    bool autoPlay_ = false;
    uint32_t backColor_ = kDefaultBackColor;
    int16_t borderStyle_ = 0;
    QRect fit_;
    QTimer tmrDelay;
    QElapsedTimer clock_;
    int32_t frameInterval_ = 0;
    qint64 nextDue_ = -1; // when the next frame is due on clock_, or -1: from the next step
    bool userControl_ = false;
    GifControls controls_;
    QLabel* overlay_;
    QTimer overlayTimer_;
    // Waits for a size change to settle before the buffers are made again.
    QTimer resampleTimer_;
    bool resamplePending_ = false; // made again when the loop starts over
};
