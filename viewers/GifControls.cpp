#include "viewers/GifControls.h"

#include <algorithm>
#include <cmath>

namespace {
const char* const kDot = " \u00b7 ";  // a middle dot between the parts
const char* const kTimes = " \u00d7"; // a multiplication sign after the speed
} // namespace

GifControls::Action GifControls::ActionForKey(int keyAscii) {
    switch (keyAscii) {
    case ' ':
        return Action::PlayPause;
    case ',':
        return Action::StepBack;
    case '.':
        return Action::StepForward;
    case '[':
        return Action::Slower;
    case ']':
        return Action::Faster;
    default:
        return Action::None;
    }
}

bool GifControls::Slower() {
    if (speedStep_ <= kSlowestStep) return false;
    --speedStep_;
    return true;
}

bool GifControls::Faster() {
    if (speedStep_ >= kFastestStep) return false;
    ++speedStep_;
    return true;
}

int32_t GifControls::Interval(int32_t fileMs) const {
    const double ms = std::ldexp(double(fileMs), -speedStep_);
    return int32_t(std::max(1.0, std::round(ms)));
}

int GifControls::StepTarget(int shown, int delta, int frames) {
    if (frames <= 0) return 0;
    if (shown < 1 || shown > frames) return 1;
    if (delta < 0) return std::max(1, shown + delta);
    return (shown - 1 + delta) % frames + 1;
}

std::string GifControls::SpeedText() const {
    const std::string number =
        speedStep_ >= 0 ? std::to_string(1 << speedStep_) : "1/" + std::to_string(1 << -speedStep_);
    return number + kTimes;
}

std::string GifControls::OverlayText(int frame, int frames, int32_t fileMs, bool paused) const {
    std::string text = "frame " + std::to_string(frame) + " / " + std::to_string(frames) + kDot +
                       std::to_string(fileMs) + " ms" + kDot + SpeedText();
    if (paused) text += std::string(kDot) + "paused";
    return text;
}
