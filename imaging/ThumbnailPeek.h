// A picture of the chosen file before its decode: the largest useful
// thumbnail the desktop's shared cache holds of it (large, x-large or
// xx-large, made by this program or by another), read on a thread of the
// peek's own and fitted to the pane's box, so that the window shows it at
// once and replaces it when the decoded picture comes. The window asks once
// for each choice; a new question gives up the one before it, whose answer
// never comes. A thumbnail is read by the icon view's rules (a regular file,
// no link, within the size limits, a PNG whose Thumb::URI and Thumb::MTime
// are the file's as it is now: a stale one is never shown). Answers wait in
// `TakeAnswers` once `NotifyFd` (an eventfd) is readable. No widgets.
#pragma once

#include "imaging/MFreeImage_2.h"
#include "imaging/ThumbnailCache.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class ThumbnailPeek {
  public:
    struct Limits {
        uint64_t maxFileBytes = ThumbnailCache::kMaxFileBytes; // a larger file is no thumbnail
        // A thumbnail whose header says it is wider or taller is not decoded.
        // Twice the largest size's side: another program's thumbnail a little
        // larger than its size is still used, as the icon view does.
        int maxSide = 2048;
        // A box whose fit would be larger (a placeholder of more pixels than
        // any screen holds) gets no thumbnail.
        uint64_t maxPicturePixels = uint64_t(1) << 26;
    };
    using Ticket = uint64_t; // never 0

    struct Answer {
        Ticket ticket = 0;
        // A valid thumbnail of the file as it is now was found (so of the
        // same file: its URI and MTime match); without one, nothing below is set.
        bool found = false;
        // The thumbnail fitted to the box (32 bits, transparent parts laid
        // over the background asked for): resampled to the original's fit
        // when the original's size is known (or the thumbnail, smaller than
        // its size's side, is taken for the whole picture), else to the
        // thumbnail's own shape enlarged to the box; as stored for a 0 x 0
        // box. Its own surface, the caller's to keep.
        StdPicture picture;
        ThumbnailSize size = ThumbnailSize::Large; // the cache folder it came from
        int thumbWidth = 0, thumbHeight = 0;       // as stored
        bool ours = false;                         // its Software key names this program
        bool covers = false; // at least the original's fit in the box, on both sides
        // Thumb::Image::Width and Height: the original's size; 0 when the
        // thumbnail does not carry them (or their shape is not the thumbnail's).
        int fullWidth = 0, fullHeight = 0;

        // It stands for the decoded picture: made by this program from the
        // file as it is, and no smaller than the box's fit.
        bool IsThePicture() const { return found && ours && covers; }
    };

    explicit ThumbnailPeek(ThumbnailCache cache = ThumbnailCache());
    ThumbnailPeek(ThumbnailCache cache, Limits limits);
    ~ThumbnailPeek(); // the thread ends (at the next step of a look) before it returns
    ThumbnailPeek(const ThumbnailPeek&) = delete;
    ThumbnailPeek& operator=(const ThumbnailPeek&) = delete;

    // Looks for a thumbnail of `path` (the name browsed, links not
    // followed) to show in `box`, transparent pixels laid over `background`
    // (a colour as PictureBox::BackColor holds it: the pane's). Every earlier
    // question is given up: its answer never comes. The file's time and size
    // are read on the peek's thread.
    Ticket Peek(const std::string& path, MFreeImage_2::Box box, uint32_t background);
    // Gives up `ticket` (when it is the question asked last): no answer comes for it.
    void Cancel(Ticket ticket);
    // Readable while an answer waits to be taken.
    int NotifyFd() const;
    // The answer to the question asked last, once it came (at most one).
    std::vector<Answer> TakeAnswers();
    // Nothing asked that is still being looked at, and no answer waiting.
    bool Idle() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};
