// Makes one file's thumbnail at one size: found valid in the shared cache, or
// decoded in a confined helper of its own (a second process beside the
// preview's, so that the preview never waits for thumbnails), fitted to the
// size's box (a JPEG decoded at a reduced scale) and stored. A file that does
// not decode leaves a fail entry and is not decoded again until it changes;
// a helper that failed for reasons of its own leaves none, and an answer
// larger than the box is refused.
// Animated GIFs give their first frame. One maker is used by one thread at a
// time (the scheduler's worker, or the probe).
#pragma once

#include "imaging/StillDecoder.h"
#include "imaging/ThumbnailCache.h"

#include <QImage>
#include <functional>
#include <optional>
#include <string>

enum class ThumbnailOutcome {
    Found,  // valid in the cache
    Made,   // decoded now (and stored, when `file` is set)
    Failed, // the file does not decode: a fail entry holds it
    Skipped // none wanted or none to be had now: not a regular file, inside
            // the cache, no decoder to start, given up, or the helper failed
            // (ended from outside, or an answer not to be trusted)
};

struct ThumbnailResult {
    ThumbnailOutcome outcome = ThumbnailOutcome::Skipped;
    QImage image;                      // Found and Made
    std::string file;                  // the thumbnail in the cache, or the fail entry
    int fullWidth = 0, fullHeight = 0; // Made: the original's size
};

class ThumbnailMaker {
  public:
    // Laid under transparent pixels: the helper sends opaque pixels.
    static constexpr uint32_t kBackground = 0x00FFFFFF;
    // A decode given up (`cancelled`) that has run this long is abandoned at
    // once, and its helper replaced; a shorter one is left to finish, since
    // starting a helper costs more than the rest of most pictures.
    static constexpr int kFinishCancelledMs = 150;

    explicit ThumbnailMaker(ThumbnailCache cache = ThumbnailCache());
    const ThumbnailCache& Cache() const { return cache_; }
    // The maker's own decoder (tests point it at another helper program).
    StillDecoder& Decoder() { return decoder_; }

    // The thumbnail of `path` at `size`. While the helper works, `cancelled`
    // is asked now and then; once it says true the decode is given up
    // (Skipped, nothing written).
    ThumbnailResult Make(const std::string& path, ThumbnailSize size,
                         const std::function<bool()>& cancelled = {});
    // The same for a file already described. Without `wantImage` a
    // thumbnail found in the cache is checked but not decoded. Without
    // `store` a picture made now is left for Keep (which may run on
    // another thread, beside the next decode).
    ThumbnailResult Make(const ThumbnailSource& source, ThumbnailSize size,
                         const std::function<bool()>& cancelled, bool wantImage = true,
                         bool store = true);
    // What the cache holds for `source`: Found (its picture in `image` when
    // `wantImage`), Failed, Skipped for a file inside the cache, or nothing
    // when only a decode can tell. Uses no decoder: another thread may Look
    // while Make decodes.
    std::optional<ThumbnailResult> Look(const ThumbnailSource& source, ThumbnailSize size,
                                        bool wantImage) const;
    // Writes a picture Make made as the thumbnail of `source`, and removes
    // an older fail entry; the thumbnail's path, or empty.
    std::string Keep(const ThumbnailSource& source, ThumbnailSize size,
                     const ThumbnailResult& made) const;

  private:
    // Whose doing a decode's end was: a picture; the file's (the helper said
    // it does not decode, crashed on it, or spent its time computing on it);
    // or not the file's, which leaves no fail entry (no decoder, given up,
    // the helper ended from outside or kept from running, or an answer not
    // to be trusted, one larger than the box among them).
    enum class Decoded { Picture, FileAtFault, NotTheFile };
    // `answer` holds the decoder's whole answer (the original's size among it).
    Decoded Decode(const std::string& path, ThumbnailSize size,
                   const std::function<bool()>& cancelled, QImage& image, DecodeResult& answer);

    ThumbnailCache cache_;
    StillDecoder decoder_;
};
