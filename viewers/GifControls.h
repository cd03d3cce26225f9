// What the keys of an animated GIF in the full view decide, without widgets:
// which key does what, the playing speed (halved or doubled from 1/4 to 4
// times the file's own), the timer interval of a frame at that speed, the
// frame one step back or forward lands on, and the text of the overlay that
// shows the frame and the speed after each key. The GIF viewer
// (`ucGIFViewer`) holds one and acts on its answers. Standard library only.
#pragma once

#include <cstdint>
#include <string>

class GifControls {
  public:
    enum class Action { None, PlayPause, StepBack, StepForward, Slower, Faster };
    // Space plays and pauses, ',' and '.' step one frame back and forward,
    // '[' and ']' halve and double the speed.
    static Action ActionForKey(int keyAscii);

    // The speed is 2^SpeedStep() times the file's own.
    static constexpr int kSlowestStep = -2; // 1/4
    static constexpr int kFastestStep = 2;  // 4
    int SpeedStep() const { return speedStep_; }
    // Halves or doubles the speed; false, with nothing changed, at either end.
    bool Slower();
    bool Faster();
    // A frame's timer interval (milliseconds, as the file asks) at this speed:
    // at least 1 ms.
    int32_t Interval(int32_t fileMs) const;

    // The frame a step of `delta` frames from the frame shown lands on:
    // forward wraps from the last frame to frame 1, as playing does; back
    // stops at frame 1 (before the last frame there is the whole animation to
    // compose, which playing may not have passed yet). Nothing shown yet
    // counts as frame 1 to come.
    static int StepTarget(int shown, int delta, int frames);

    // "1/4 ×", "1/2 ×", "1 ×", "2 ×", "4 ×".
    std::string SpeedText() const;
    // "frame 12 / 80 · 100 ms · 2 ×", and " · paused" while paused; the
    // milliseconds are the frame's own.
    std::string OverlayText(int frame, int frames, int32_t fileMs, bool paused) const;

  private:
    int speedStep_ = 0;
};
