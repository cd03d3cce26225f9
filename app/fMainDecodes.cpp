// The main window's decodes, each a request to the decoder pool whose answer
// is routed by its ticket: the chosen picture at the pane's size, its whole
// picture for a full view, and the pictures read ahead of the user, which the
// preview scheduler picks (the next and previous rows at the pane's size, the
// chosen one at the screen's, whole ones while a full view is open). A row
// whose picture is being read ahead when it is chosen takes that decode over.
// The window's thread only sends requests and takes answers: the pool opens
// the files, and what is cached is keyed by what the listing knows of a file.
#include "app/fMain.h"

#include "app/mStartup.h"
#include "imaging/mScaleImage.h"

#include <QScreen>
#include <cstring>

namespace {

PreviewScheduler::Box ToScheduler(MFreeImage_2::Box box) {
    return {box.width, box.height};
}

} // namespace

cPictureCache::Key fMain::RowKey(int row) const {
    std::string folder = sFolder;
    AddBackslash(folder);
    const FileRow& r = lvFiles->Model()->Row(row);
    return {folder + r.name, r.size, r.mtime * 1'000'000'000};
}

cPictureCache& fMain::CacheFor(MFreeImage_2::Box box) {
    return box.width <= 0 || box.height <= 0 ? wholeAhead_ : cache_;
}

void fMain::Submit(DecoderPool::Lane lane, const std::string& path, MFreeImage_2::Box box,
                   Purpose purpose, uint32_t id, PreviewScheduler::Work work) {
    // A GIF is never decoded as a still: the choice's goes to the animated
    // viewer, and one read ahead is left alone.
    const DecoderPool::Ticket ticket = pool_.Submit(lane, {path, box, PicLoad.BackColor(), true});
    decodes_.emplace(ticket, Decode{purpose, id, std::move(work), path, box});
}

void fMain::CancelDecodes(bool readAhead) {
    for (auto it = decodes_.begin(); it != decodes_.end();) {
        if ((it->second.purpose == Purpose::ReadAhead) == readAhead) {
            pool_.Cancel(it->first);
            it = decodes_.erase(it);
        } else {
            ++it;
        }
    }
}

bool fMain::TakeOver(const std::string& path, MFreeImage_2::Box box, Purpose purpose, uint32_t id) {
    // A picture being read ahead in exactly the box wanted becomes the
    // choice's (or the full view's): nothing is decoded twice.
    for (auto& [ticket, d] : decodes_) {
        if (d.purpose != Purpose::ReadAhead || d.path != path || d.box.width != box.width ||
            d.box.height != box.height)
            continue;
        d.purpose = purpose;
        d.id = id;
        return true;
    }
    return false;
}

void fMain::BeginStill(const std::string& path, uint32_t id) {
    const MFreeImage_2::Box pane = PaneBox();
    if (!TakeOver(path, pane, Purpose::Choice, id))
        Submit(DecoderPool::Lane::Preview, path, pane, Purpose::Choice, id);
    // Meanwhile a thumbnail the desktop's cache holds of it may stand in.
    peekTicket_ = peek_.Peek(path, pane, PicLoad.BackColor());
    peekId_ = id;
}

void fMain::OnPeekAnswers() {
    for (ThumbnailPeek::Answer& a : peek_.TakeAnswers()) {
        if (a.ticket != peekTicket_ || !a.found || !a.picture) continue;
        const uint32_t id = std::exchange(peekId_, 0);
        peekTicket_ = 0;
        if (preview_.state() != cPreviewCore::State::Decoding || preview_.PendingId() != id)
            continue; // decoded meanwhile, or another file chosen
        if (a.IsThePicture()) {
            // Made by this program from this very file, at least the pane's
            // fit: it is the picture, and its decode is not needed.
            const bool reduced =
                a.picture->Width() < a.fullWidth || a.picture->Height() < a.fullHeight;
            for (auto it = decodes_.begin(); it != decodes_.end(); ++it)
                if (it->second.purpose == Purpose::Choice && it->second.id == id) {
                    pool_.Cancel(it->first);
                    decodes_.erase(it);
                    break;
                }
            preview_.Answer(id, true, {a.fullWidth, a.fullHeight, 0, reduced, false});
            PicLoad.AdoptSurface(a.picture);
            ShowChoice();
            continue;
        }
        if (!preview_.ShowStandIn(id, a.fullWidth, a.fullHeight)) continue;
        PicLoad.AdoptSurface(a.picture);
        RedrawStill();
        ShowStatus();
    }
    UpdateBusyPointer();
}

void fMain::StartFullDecode() {
    // The whole picture for a full view, where the preview holds a reduced one.
    const uint32_t id = preview_.TakeFullDecode();
    if (id == 0) return;
    const std::string path = preview_.Path();
    if (const cPictureCache::Entry* e = wholeAhead_.Find(chosenKey_, 0, 0)) {
        // Read whole already: the full view shows it at once.
        const StdPicture picture = e->picture;
        preview_.Answer(id, true, {e->fullWidth, e->fullHeight, 0, false, e->cameraPreview});
        wholePicture_ = picture;
        wholePictureOf_ = path;
        ShowChoice();
        return;
    }
    if (!TakeOver(path, {}, Purpose::Whole, id))
        Submit(DecoderPool::Lane::Preview, path, {}, Purpose::Whole, id);
}

void fMain::OnPoolAnswers() {
    for (auto& [ticket, result] : pool_.TakeResults()) {
        const auto it = decodes_.find(ticket);
        if (it == decodes_.end()) continue; // given up meanwhile
        const Decode d = std::move(it->second);
        decodes_.erase(it);
        if (result.status != DecodeResult::Status::Gif &&
            result.status != DecodeResult::Status::Unreadable) {
            inProcess_ = result.inProcess;
            missingConfinement_ = result.missingConfinement;
        }
        switch (d.purpose) {
        case Purpose::Choice:
        case Purpose::Whole:
            FinishStill(d, result);
            break;
        case Purpose::ReadAhead:
            FinishReadAhead(d, result);
            break;
        }
    }
    ReadAhead(); // the next one wanted
    UpdateBusyPointer();
}

void fMain::FinishStill(const Decode& d, DecodeResult& result) {
    if (result.status == DecodeResult::Status::Gif) {
        // Its first bytes say GIF: the animated viewer reads it.
        if (d.purpose == Purpose::Choice && preview_.BecomeGif(d.id)) BeginGif(d.path, d.id);
        return;
    }
    const bool loaded = result.Decoded();
    const StdPicture picture = loaded ? result.picture : StdPicture();
    const bool reduced =
        loaded && (picture->Width() < result.fullWidth || picture->Height() < result.fullHeight);
    const std::string why = result.status == DecodeResult::Status::Unreadable
                                ? std::string(std::strerror(result.error))
                                : result.reason;
    // The whole picture for a full view comes while the pane's is shown; it
    // goes to the full view, and the pane keeps its own.
    const bool whole = preview_.state() == cPreviewCore::State::Shown;
    if (!preview_.Answer(d.id, loaded,
                         {result.fullWidth, result.fullHeight, 0, reduced, result.embeddedPreview},
                         why))
        return;
    if (loaded && whole) {
        wholePicture_ = picture;
        wholePictureOf_ = preview_.Path();
    } else if (loaded) {
        PicLoad.AdoptSurface(picture);
        if (reduced) // kept for going back to it
            cache_.Put({chosenKey_, picture, result.fullWidth, result.fullHeight, d.box.width,
                        d.box.height, result.embeddedPreview});
    }
    ShowChoice();
}

void fMain::FinishReadAhead(const Decode& d, DecodeResult& result) {
    if (!result.Decoded()) return; // tried once for this choice, whatever came of it
    const auto key = stampedKeys_.find(d.path);
    if (key == stampedKeys_.end()) return; // the row is gone or another folder is listed
    CacheFor(d.box).Put({key->second, result.picture, result.fullWidth, result.fullHeight,
                         d.box.width, d.box.height, result.embeddedPreview});
    const MFreeImage_2::Box pane = PaneBox();
    if (d.box.width == pane.width && d.box.height == pane.height) TakeRefit(d.path, result.picture);
}

bool fMain::TakeRefit(const std::string& path, const StdPicture& picture) {
    // The chosen picture fitted to the pane as it is now replaces the one
    // fitted to its earlier size.
    if (path != preview_.Path() || preview_.kind() != cPreviewCore::Kind::Still ||
        preview_.state() != cPreviewCore::State::Shown)
        return false;
    PicLoad.AdoptSurface(picture);
    const bool whole = wholePicture_ && wholePictureOf_ == path;
    preview_.Refitted(!whole && (picture->Width() < preview_.Facts().width ||
                                 picture->Height() < preview_.Facts().height));
    RedrawStill();
    return true;
}

bool fMain::ShowReadAhead(const cPictureCache::Key& key, uint32_t id) {
    const MFreeImage_2::Box pane = PaneBox();
    const cPictureCache::Entry* e = cache_.Find(key, pane.width, pane.height);
    if (!e) return false;
    // Read ahead already: shown at once (a read-ahead under way goes on).
    const bool reduced = e->picture->Width() < e->fullWidth || e->picture->Height() < e->fullHeight;
    const StdPicture picture = e->picture;
    preview_.Answer(id, true, {e->fullWidth, e->fullHeight, 0, reduced, e->cameraPreview});
    PicLoad.AdoptSurface(picture);
    ShowChoice();
    return true;
}

void fMain::ReadAhead() {
    std::string folder = sFolder;
    AddBackslash(folder);
    const int row = preview_.Folder() == folder ? RowOfName(preview_.Name()) : -1;
    // The keys of the rows the scheduler may ask about, as the listing knows them.
    stampedKeys_.clear();
    for (int r = row - 1; row >= 0 && r <= row + 1; ++r)
        if (r >= 0 && r < lvFiles->Model()->rowCount()) {
            cPictureCache::Key key = RowKey(r);
            stampedKeys_.emplace(key.path, std::move(key));
        }
    PreviewScheduler::Situation s;
    s.chosen = row;
    s.rows = lvFiles->Model()->rowCount();
    s.pathOf = [this, &folder](int r) { return folder + lvFiles->Model()->Row(r).name; };
    s.chosenStillShown = preview_.kind() == cPreviewCore::Kind::Still &&
                         preview_.state() == cPreviewCore::State::Shown &&
                         PicLoad.Surface().lpBits();
    s.choiceDecoding = preview_.state() == cPreviewCore::State::Decoding ||
                       preview_.FullViewWaiting() || gifsDecoding_ > 0;
    s.shownWidth = PicLoad.Width();
    s.shownHeight = PicLoad.Height();
    s.fullWidth = preview_.Facts().width;
    s.fullHeight = preview_.Facts().height;
    s.pane = ToScheduler(PaneBox());
    s.screen = ToScheduler(ScreenBox());
    s.fullViewOpen = FullViewOpen();
    s.settling = settleTimer_.isActive();
    s.cached = [this](const std::string& path, PreviewScheduler::Box box) {
        const auto key = stampedKeys_.find(path);
        return key != stampedKeys_.end() &&
               CacheFor({box.width, box.height}).Find(key->second, box.width, box.height);
    };
    for (const auto& [ticket, d] : decodes_)
        if (d.purpose == Purpose::ReadAhead) s.running.push_back(d.work);
    if (!s.fullViewOpen) wholeAhead_.Clear();
    const PreviewScheduler::Plan plan = scheduler_.Next(s);
    for (const PreviewScheduler::Work& gone : plan.cancel)
        for (auto it = decodes_.begin(); it != decodes_.end(); ++it)
            if (it->second.purpose == Purpose::ReadAhead && it->second.work == gone) {
                pool_.Cancel(it->first);
                decodes_.erase(it);
                break;
            }
    readAheadIdle_ = plan.idle;
    // One read-ahead at a time: the neighbours come in the order wanted.
    const bool running = std::any_of(decodes_.begin(), decodes_.end(), [](const auto& d) {
        return d.second.purpose == Purpose::ReadAhead;
    });
    if (running || plan.start.empty()) return;
    const PreviewScheduler::Work& work = plan.start.front();
    scheduler_.Started(work);
    Submit(DecoderPool::Lane::ReadAhead, work.path, {work.box.width, work.box.height},
           Purpose::ReadAhead, 0, work);
}

bool fMain::ReadAheadIdle() const {
    return decodes_.empty() && gifsDecoding_ == 0 && !settleTimer_.isActive() && readAheadIdle_ &&
           peek_.Idle();
}
