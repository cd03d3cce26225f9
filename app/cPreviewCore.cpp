#include "app/cPreviewCore.h"

uint32_t cPreviewCore::Choose(const std::string& folder, const std::string& name, Kind kind) {
    folder_ = folder;
    name_ = name;
    kind_ = kind;
    id_ = nextId_++;
    if (nextId_ == 0) nextId_ = 1; // 0 means "no request"
    state_ = State::Decoding;
    // A full view asked for the file chosen before is not one for this file.
    fullViewWaiting_ = fullViewReady_ = false;
    return id_;
}

void cPreviewCore::ChooseUnreadable(const std::string& folder, const std::string& name,
                                    const std::string& why) {
    Choose(folder, name, Kind::Still);
    state_ = State::Failed;
    facts_ = {};
    SetStatus(why.empty() ? kFailedText : why);
}

bool cPreviewCore::Answer(uint32_t id, bool loaded, const Picture& facts, const std::string& why) {
    if (state_ != State::Decoding || id != id_) return false; // late, or for another choice
    state_ = loaded ? State::Shown : State::Failed;
    facts_ = loaded ? facts : Picture{};
    if (!loaded)
        SetStatus(why.empty() ? kFailedText : why);
    else if (kind_ == Kind::Gif)
        SetStatus(std::to_string(facts_.frames) + kFramesSuffix);
    else
        SetStatus({});
    if (fullViewWaiting_) {
        fullViewWaiting_ = false;
        fullViewReady_ = loaded;
    }
    return true;
}

void cPreviewCore::FolderFailed(const std::string& why) {
    folder_.clear();
    name_.clear();
    id_ = 0;
    state_ = State::Empty;
    facts_ = {};
    fullViewWaiting_ = fullViewReady_ = false;
    status_ = {why, {}, {}};
}

cPreviewCore::FullView cPreviewCore::RequestFullView() {
    switch (state_) {
    case State::Shown:
        return FullView::Open;
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
