#include "viewers/ucGIFViewer.h"

#include "platform/Files.h"
#include "platform/InputEvents.h"
#include "platform/Platform.h"

#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <unistd.h>

namespace {
constexpr int kFirstTickMs = 1; // the first frame is drawn at the next tick
constexpr int kBorderInset = 2;
// How long a size must stay before the buffers follow it.
constexpr int kResampleSettleMs = 150;
} // namespace

ucGIFViewer::ucGIFViewer(QWidget* parent) : ucGIFViewer(parent, Limits{}) {}

ucGIFViewer::ucGIFViewer(QWidget* parent, Limits limits) : QWidget(parent), limits_(limits) {
    // Called on the worker's thread: only an event to this viewer, which
    // outlives the worker (it ends first in the destructor).
    ahead_ = std::make_unique<GifDecodeAhead>([this] {
        QMetaObject::invokeMethod(this, &ucGIFViewer::DecodeArrived, Qt::QueuedConnection);
    });
    NewDocument();
    setAttribute(Qt::WA_OpaquePaintEvent);
    tmrDelay.setTimerType(Qt::PreciseTimer);
    clock_.start();
    connect(&tmrDelay, &QTimer::timeout, this, &ucGIFViewer::Tick);
    overlay_ = new QLabel(this);
    overlay_->setStyleSheet(QStringLiteral(
        "QLabel { background: rgba(0, 0, 0, 160); color: white; padding: 6px 10px; }"));
    overlay_->hide();
    overlayTimer_.setSingleShot(true);
    overlayTimer_.setInterval(kOverlayMs);
    connect(&overlayTimer_, &QTimer::timeout, overlay_, &QWidget::hide);
    resampleTimer_.setSingleShot(true);
    resampleTimer_.setInterval(kResampleSettleMs);
    connect(&resampleTimer_, &QTimer::timeout, this, &ucGIFViewer::Resample);
}

ucGIFViewer::~ucGIFViewer() {
    tmrDelay.stop();
    ahead_.reset(); // its thread ends here, before anything it could post to
}

void ucGIFViewer::NewDocument() {
    ahead_->Cancel();
    stepAwaits_ = false;
    gif_ = std::make_shared<cGIF>(limits_.document);
    anim_ = std::make_unique<GifAnimation>(*gif_);
    if (userControl_) anim_->KeepKeyFrames(limits_.keyFrameBytes);
}

std::shared_ptr<cGIF> ucGIFViewer::ReadDocument(const std::string& FileName, cGIF::Limits limits) {
    // Only regular files, read once, opened without waiting.
    auto bytes = std::make_shared<std::vector<uint8_t>>();
    const int fd = Files::OpenRegularFile(FileName);
    if (fd >= 0 && !Files::ReadWhole(fd, *bytes, limits.documentBytes)) bytes->clear();
    if (fd >= 0) ::close(fd);
    return DocumentOf(std::move(bytes), limits);
}

std::shared_ptr<cGIF> ucGIFViewer::DocumentOf(std::shared_ptr<const std::vector<uint8_t>> bytes,
                                              cGIF::Limits limits) {
    // A screen no buffer can hold is refused before any frame is decoded.
    if (bytes->empty() || !GifAnimation::CanvasFits(*bytes)) return nullptr;
    auto document = std::make_shared<cGIF>(limits);
    // Nothing to show when every frame is past a limit.
    if (!document->LoadFromBytes(std::move(bytes)) || !document->AnyFrameDrawable()) return nullptr;
    return document;
}

bool ucGIFViewer::LoadFromFile(const std::string& FileName) {
    return ShowDocument(ReadDocument(FileName, limits_.document));
}

bool ucGIFViewer::ShowDocument(std::shared_ptr<cGIF> document) {
    const bool loaded = document != nullptr;
    return LoadDocument(std::move(document), loaded);
}

bool ucGIFViewer::ShowDocumentOf(const ucGIFViewer& other) {
    return LoadDocument(other.gif_, other.GIFLoaded());
}

bool ucGIFViewer::LoadFromResource(const QString& ResourceID, const QString& ResourceType) {
    QFile resource(QStringLiteral(":/") + ResourceType + QLatin1Char('/') + ResourceID);
    if (!resource.open(QIODevice::ReadOnly)) return LoadDocument(nullptr, false);
    const QByteArray bytes = resource.readAll();
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.constData());
    return ShowDocument(DocumentOf(
        std::make_shared<const std::vector<uint8_t>>(data, data + bytes.size()), limits_.document));
}

bool ucGIFViewer::LoadDocument(std::shared_ptr<cGIF> document, bool loaded) {
    tmrDelay.stop();
    frameCount_ = 0;
    // A document that did not load leaves the last picture where it was.
    if (loaded && document && document->FramesCount() > 0) {
        ahead_->Cancel();
        stepAwaits_ = false;
        gif_ = std::move(document);
        anim_ = std::make_unique<GifAnimation>(*gif_);
        if (userControl_) anim_->KeepKeyFrames(limits_.keyFrameBytes);
        frameCount_ = gif_->FramesCount();
    }
    StartDisplay(autoPlay_);
    return frameCount_ > 0;
}

bool ucGIFViewer::CreateBuffers() {
    const QSize shown = ShownSize();
    return anim_->CreateBuffers(Platform::ColorRef(backColor_), shown.width(), shown.height());
}

void ucGIFViewer::StartDisplay(bool play) {
    if (frameCount_ == 0) return; // the previous picture stays
    resampleTimer_.stop();
    resamplePending_ = false;
    ComputeFit();
    if (!CreateBuffers()) {
        // A logical screen that cannot be drawn: nothing is shown as loaded.
        frameCount_ = 0;
        fit_ = QRect(fit_.topLeft(), QSize(0, 0));
        return;
    }
    anim_->SetCurrentFrame(1);
    update();
    if (frameCount_ > 1 && play) {
        SetFrameInterval(kFirstTickMs);
        tmrDelay.start();
    } else {
        AnimationStep();
    }
}

void ucGIFViewer::Tick() {
    stepAwaits_ = frameCount_ > 0 && ahead_->Await(anim_->CurrentFrame());
    if (!stepAwaits_) AnimationStep();
}

void ucGIFViewer::DecodeArrived() {
    if (!stepAwaits_ || !tmrDelay.isActive()) return;
    stepAwaits_ = false;
    AnimationStep();
}

void ucGIFViewer::TakeDecoded(int frame) {
    if (const std::unique_ptr<cGIF::DecodeJob> job = ahead_->Take(frame)) gif_->AdoptDecode(*job);
}

void ucGIFViewer::DecodeAhead() {
    const int next = anim_->CurrentFrame();
    if (frameCount_ <= 1 || ahead_->Asked(next)) return;
    ahead_->Start(gif_->PrepareDecode(next));
}

void ucGIFViewer::AnimationStep() {
    if (frameCount_ == 0 || !anim_->HasBuffers()) return;
    if (resamplePending_ && anim_->CurrentFrame() == 1) {
        // The loop starts over from the clean background: the new size costs nothing.
        resamplePending_ = false;
        CreateBuffers();
    }
    // The frame due is decoded here only when nothing decoded it ahead.
    TakeDecoded(anim_->CurrentFrame());
    const GifAnimation::Step s = anim_->Advance();
    ScheduleNext(controls_.Interval(s.interval));
    DecodeAhead();
    emit GIFFrameRendered(int16_t(s.frame));
    if (overlay_->isVisible()) UpdateOverlay();
    RepaintChanged();
}

void ucGIFViewer::SetFrameInterval(int32_t interval) {
    frameInterval_ = interval;
    tmrDelay.setInterval(interval);
    nextDue_ = -1;
}

void ucGIFViewer::ScheduleNext(int32_t interval) {
    if (!tmrDelay.isActive()) {
        SetFrameInterval(interval);
        return;
    }
    frameInterval_ = interval;
    // The next frame is due one interval after this one was, not one after
    // this step's work: the GIF plays at its own speed. A step more than an
    // interval late (a busy moment) starts the count again from now.
    const qint64 now = clock_.elapsed();
    nextDue_ = nextDue_ < 0 || now - nextDue_ > interval ? now + interval : nextDue_ + interval;
    tmrDelay.setInterval(int(std::max<qint64>(0, nextDue_ - now)));
}

void ucGIFViewer::RepaintChanged() {
    // Only the part of the picture that changed is painted again.
    const GifAnimation::Rect r = anim_->Changed();
    const cDIB& d = display();
    if (r.Empty() || d.Width() <= 0 || d.Height() <= 0) return;
    const double sx = double(fit_.width()) / d.Width(), sy = double(fit_.height()) / d.Height();
    const QRect area(fit_.x() + int(r.x * sx) - 1, fit_.y() + int(r.y * sy) - 1, int(r.w * sx) + 3,
                     int(r.h * sy) + 3);
    update(area & fit_);
}

void ucGIFViewer::Play() {
    nextDue_ = -1; // counted from the first step
    if (frameCount_ > 1)
        tmrDelay.start();
    else
        tmrDelay.stop();
}

void ucGIFViewer::Pause() {
    tmrDelay.stop();
}

void ucGIFViewer::Rewind() {
    anim_->SetCurrentFrame(1);
}

void ucGIFViewer::NextFrame() {
    if (frameCount_ > 0 && !tmrDelay.isActive()) AnimationStep();
}

void ucGIFViewer::SetUserControl(bool on) {
    userControl_ = on;
    anim_->KeepKeyFrames(on ? limits_.keyFrameBytes : 0);
    Resample(); // the whole screen under the user's control
}

bool ucGIFViewer::ControlKey(int16_t KeyAscii) {
    using Action = GifControls::Action;
    const Action action = GifControls::ActionForKey(KeyAscii);
    if (!userControl_ || frameCount_ == 0 || action == Action::None) return false;
    if (action == Action::PlayPause) {
        TogglePlay();
    } else if (action == Action::StepBack || action == Action::StepForward) {
        StepFrame(action == Action::StepBack ? -1 : 1);
    } else if (action == Action::Faster ? controls_.Faster() : controls_.Slower()) {
        // The frame shown now waits its time at the new speed.
        if (tmrDelay.isActive()) SetFrameInterval(ShownInterval());
    }
    ShowOverlay();
    return true;
}

int32_t ucGIFViewer::ShownInterval() const {
    const int shown = std::max(1, anim_->Shown());
    return controls_.Interval(GifAnimation::IntervalForDelay(gif_->FrameDelay(shown)));
}

void ucGIFViewer::TogglePlay() {
    if (tmrDelay.isActive()) {
        Pause();
        return;
    }
    SetFrameInterval(ShownInterval());
    Play();
}

void ucGIFViewer::StepFrame(int delta) {
    if (frameCount_ == 0 || !anim_->HasBuffers()) return;
    Pause();
    const int target = GifControls::StepTarget(anim_->Shown(), delta, frameCount_);
    TakeDecoded(target);
    anim_->ShowFrame(target);
    DecodeAhead();
    emit GIFFrameRendered(int16_t(target));
    RepaintChanged();
}

void ucGIFViewer::UpdateOverlay() {
    const int shown = std::max(1, anim_->Shown());
    const std::string text = controls_.OverlayText(
        shown, frameCount_, GifAnimation::IntervalForDelay(gif_->FrameDelay(shown)),
        !tmrDelay.isActive());
    overlay_->setText(QString::fromStdString(text));
    overlay_->adjustSize();
    constexpr int kLinesAboveEdge = 2; // its own height, twice, above the bottom edge
    overlay_->move((width() - overlay_->width()) / 2,
                   height() - overlay_->height() * (1 + kLinesAboveEdge));
}

void ucGIFViewer::ShowOverlay() {
    UpdateOverlay();
    overlay_->show();
    overlay_->raise();
    overlayTimer_.start();
}

void ucGIFViewer::Destroy() {
    tmrDelay.stop();
    NewDocument(); // a document another viewer shares stays whole for it
    frameCount_ = 0;
    fit_ = QRect(fit_.topLeft(), QSize(0, 0));
    update();
}

void ucGIFViewer::SetBackColor(uint32_t New_BackColor) {
    backColor_ = New_BackColor;
    const bool running = tmrDelay.isActive();
    tmrDelay.stop();
    StartDisplay(running);
    update();
}

void ucGIFViewer::SetBorderStyle(int16_t New_BorderStyle) {
    borderStyle_ = New_BorderStyle;
    ComputeFit();
    update();
}

std::size_t ucGIFViewer::HeldBytes() const {
    return anim_->BufferBytes() + anim_->KeyFrameBytes() + gif_->PixelBytes() + gif_->SourceBytes();
}

QRect ucGIFViewer::ClientRect() const {
    const int inset = borderStyle_ == 1 ? kBorderInset : 0;
    return rect().adjusted(inset, inset, -inset, -inset);
}

void ucGIFViewer::ComputeFit() {
    const QRect client = ClientRect();
    int32_t x = 0, y = 0, w = 0, h = 0;
    int64_t canvasW = 0, canvasH = 0;
    if (frameCount_ > 0) GifAnimation::CanvasSize(*gif_, canvasW, canvasH);
    if (canvasW > 0 && canvasH > 0 && client.width() > 0 && client.height() > 0)
        BestFitOf(int32_t(canvasW), int32_t(canvasH), client.width(), client.height(), x, y, w, h,
                  false);
    fit_ = QRect(client.x() + x, client.y() + y, w, h);
}

QSize ucGIFViewer::ShownSize() const {
    if (userControl_ || fit_.isEmpty()) return {};
    const qreal ratio = devicePixelRatioF();
    return {qRound(fit_.width() * ratio), qRound(fit_.height() * ratio)};
}

void ucGIFViewer::Resample() {
    resamplePending_ = false;
    // A picture with no room to show keeps the buffers it has.
    if (frameCount_ == 0 || !anim_->HasBuffers() || (!userControl_ && fit_.isEmpty())) return;
    // The buffers the size shown now calls for.
    const QSize shown = ShownSize();
    const int64_t canvasW = anim_->CanvasWidth(), canvasH = anim_->CanvasHeight();
    const bool sample = !shown.isEmpty() && (shown.width() < canvasW || shown.height() < canvasH);
    const QSize wanted = sample ? QSize(int(std::min<int64_t>(shown.width(), canvasW)),
                                        int(std::min<int64_t>(shown.height(), canvasH)))
                                : QSize(int(canvasW), int(canvasH));
    const cDIB& d = display();
    if (wanted == QSize(d.Width(), d.Height()) && sample == anim_->Sampled()) return;
    const int shownFrame = anim_->Shown();
    if (shownFrame > 0 && anim_->ComposeCost(shownFrame) > limits_.resampleBudget) {
        resamplePending_ = true;
        return;
    }
    const int next = anim_->CurrentFrame();
    if (!CreateBuffers()) return; // the buffers there stay
    if (shownFrame > 0)
        anim_->ShowFrame(shownFrame);
    else
        anim_->SetCurrentFrame(next);
    update();
}

void ucGIFViewer::resizeEvent(QResizeEvent*) {
    ComputeFit();
    if (frameCount_ > 0) resampleTimer_.start();
    update();
}

void ucGIFViewer::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    const QColor back = Platform::TranslateColor(backColor_);
    const cDIB& d = display();
    const bool picture = anim_->HasBuffers() && !fit_.isEmpty();
    // The border: everything around the picture in the background colour.
    QRegion around = QRegion(rect()) & e->region();
    if (picture) around -= QRegion(fit_);
    for (const QRect& r : around)
        p.fillRect(r, back);
    if (borderStyle_ == 1) Platform::DrawEdge(p, rect(), Platform::EDGE_SUNKEN, Platform::BF_RECT);
    if (!picture) return;
    // One nearest-pixel stretch of a view over the display buffer's memory.
    const QImage view(d.lpBits(), d.Width(), d.Height(), d.BytesPerScanline(),
                      QImage::Format_RGB32);
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.drawImage(fit_, view);
}

void ucGIFViewer::RaiseMouse(QMouseEvent* e, int which) {
    InputEvents::MouseArgs a = InputEvents::FromMouse(e);
    if (which == 0) emit MouseDown(a.button, a.shift, a.x, a.y);
    if (which == 1) emit MouseMove(a.button, a.shift, a.x, a.y);
    if (which == 2) emit MouseUp(a.button, a.shift, a.x, a.y);
}

void ucGIFViewer::mousePressEvent(QMouseEvent* e) {
    RaiseMouse(e, 0);
}

void ucGIFViewer::mouseMoveEvent(QMouseEvent* e) {
    RaiseMouse(e, 1);
}

void ucGIFViewer::mouseReleaseEvent(QMouseEvent* e) {
    if (rect().contains(e->position().toPoint())) emit Click();
    RaiseMouse(e, 2);
}

void ucGIFViewer::mouseDoubleClickEvent(QMouseEvent*) {
    emit DblClick();
}

void ucGIFViewer::keyPressEvent(QKeyEvent* e) {
    int16_t key = 0;
    if (!InputEvents::KeyAscii(e, key)) {
        QWidget::keyPressEvent(e);
        return;
    }
    if (ControlKey(key)) return;
    emit KeyPress(key);
}
