#include "app/cPreviewCore.h"

uint32_t cPreviewCore::NextId() {
    const uint32_t id = nextId_++;
    if (nextId_ == 0) nextId_ = 1; // 0 means "no request"
    return id;
}

uint32_t cPreviewCore::Choose(const std::string& folder, const std::string& name, Kind kind) {
    folder_ = folder;
    name_ = name;
    kind_ = kind;
    id_ = NextId();
    fullId_ = 0;
    fullDecodeWanted_ = false;
    state_ = State::Decoding;
    standIn_ = false;
    // A full view asked for the file chosen before is not one for this file.
    fullViewWaiting_ = fullViewReady_ = false;
    return id_;
}

bool cPreviewCore::ShowStandIn(uint32_t id, int fullWidth, int fullHeight) {
    if (state_ != State::Decoding || id != id_ || kind_ != Kind::Still) return false;
    standIn_ = true;
    status_.name = name_;
    status_.size = fullWidth > 0 && fullHeight > 0
                       ? std::to_string(fullWidth) + "x" + std::to_string(fullHeight)
                       : std::string();
    status_.detail.clear();
    return true;
}

bool cPreviewCore::BecomeGif(uint32_t id) {
    if (state_ != State::Decoding || id != id_) return false;
    kind_ = Kind::Gif;
    return true;
}

void cPreviewCore::ChooseUnreadable(const std::string& folder, const std::string& name,
                                    const std::string& why) {
    Choose(folder, name, Kind::Still);
    state_ = State::Failed;
    facts_ = {};
    SetStatus(why.empty() ? kFailedText : why);
}

bool cPreviewCore::Answer(uint32_t id, bool loaded, const Picture& facts, const std::string& why) {
    if (state_ == State::Shown && id != 0 && id == fullId_) return AnswerWholePicture(loaded);
    if (state_ != State::Decoding || id != id_) return false; // late, or for another choice
    state_ = loaded ? State::Shown : State::Failed;
    standIn_ = false;
    facts_ = loaded ? facts : Picture{};
    if (!loaded)
        SetStatus(why.empty() ? kFailedText : why);
    else if (kind_ == Kind::Gif)
        SetStatus(std::to_string(facts_.frames) + kFramesSuffix);
    else
        SetStatus(facts_.cameraPreview ? kCameraPreviewText : std::string());
    if (fullViewWaiting_) {
        if (loaded && facts_.reduced) {
            WantWholePicture(); // the full view waits on for the whole picture
        } else {
            fullViewWaiting_ = false;
            fullViewReady_ = loaded;
        }
    }
    return true;
}

void cPreviewCore::WantWholePicture() {
    fullViewWaiting_ = true;
    if (fullId_ != 0) return; // on its way already
    fullId_ = NextId();
    fullDecodeWanted_ = true;
}

bool cPreviewCore::AnswerWholePicture(bool loaded) {
    fullId_ = 0;
    if (loaded) facts_.reduced = false;
    if (fullViewWaiting_) {
        fullViewWaiting_ = false;
        fullViewReady_ = loaded;
    }
    return true; // the caller takes the picture only when it came
}

uint32_t cPreviewCore::TakeFullDecode() {
    if (!fullDecodeWanted_) return 0;
    fullDecodeWanted_ = false;
    return fullId_;
}

void cPreviewCore::FolderFailed(const std::string& why) {
    standIn_ = false;
    folder_.clear();
    name_.clear();
    id_ = fullId_ = 0;
    fullDecodeWanted_ = false;
    state_ = State::Empty;
    facts_ = {};
    fullViewWaiting_ = fullViewReady_ = false;
    status_ = {why, {}, {}};
}

bool cPreviewCore::FolderListed() {
    // Nothing chosen since the failure: the status still holds its reason.
    if (!folder_.empty() || status_.name.empty()) return false;
    status_ = {};
    return true;
}

void cPreviewCore::ChosenRemoved() {
    if (name_.empty()) return;
    standIn_ = false;
    id_ = fullId_ = 0;
    fullDecodeWanted_ = false;
    state_ = State::Failed;
    facts_ = {};
    fullViewWaiting_ = fullViewReady_ = false;
    SetStatus(kRemovedText);
}

void cPreviewCore::ChosenRenamed(const std::string& name) {
    if (name_.empty()) return;
    name_ = name;
    // While a picture decodes the status describes the one shown before,
    // which may be another file's.
    if (state_ != State::Decoding) status_.name = name_;
}

cPreviewCore::FullView cPreviewCore::RequestFullView() {
    switch (state_) {
    case State::Shown:
        if (!facts_.reduced) return FullView::Open;
        WantWholePicture();
        return FullView::Wait;
    case State::Decoding:
        fullViewWaiting_ = true;
        return FullView::Wait;
    default:
        return FullView::None;
    }
}

bool cPreviewCore::TakeWaitingFullView() {
    const bool ready = fullViewReady_;
    fullViewReady_ = false;
    return ready;
}

void cPreviewCore::SetStatus(const std::string& detail) {
    status_.name = name_;
    status_.size = state_ == State::Shown
                       ? std::to_string(facts_.width) + "x" + std::to_string(facts_.height)
                       : std::string();
    status_.detail = detail;
}
