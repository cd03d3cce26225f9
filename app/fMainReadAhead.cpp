// Reading ahead in the main window, one decode at a time, while nothing else
// decodes: once the chosen picture shows, the pictures of the next and the
// previous row are decoded at the size the pane shows them, into a small
// cache, so that arrowing either way shows the picture at once; then the
// chosen picture fitted to the screen, which a pane changing size is drawn
// from. A pane that has changed size and kept it gets the chosen picture
// fitted to it first. While the full view is open, the next and previous
// pictures are also read whole, for stepping through the list there. A row
// whose picture is still being read ahead when it is chosen takes that
// decode over.
#include "app/fMain.h"

#include "app/mStartup.h"
#include "imaging/StillDecoder.h"
#include "imaging/mScaleImage.h"

#include <vector>

namespace {

std::string TriedName(const std::string& path, MFreeImage_2::Box box) {
    return path + '\n' + std::to_string(box.width) + 'x' + std::to_string(box.height);
}

bool SameBox(MFreeImage_2::Box a, MFreeImage_2::Box b) {
    return a.width == b.width && a.height == b.height;
}

// The box of a picture read whole.
bool IsWhole(MFreeImage_2::Box box) {
    return box.width <= 0 || box.height <= 0;
}

} // namespace

void fMain::ReadAhead() {
    // One decode at a time; none for a pane whose size is still changing.
    if (stillNotifier_ || settleTimer_.isActive() || preview_.Folder().empty()) return;
    std::string folder = sFolder;
    AddBackslash(folder);
    if (preview_.Folder() != folder) return;
    const int row = RowOfName(preview_.Name());
    if (row < 0) return;
    const bool stillShown = preview_.kind() == cPreviewCore::Kind::Still &&
                            preview_.state() == cPreviewCore::State::Shown &&
                            PicLoad.Surface().lpBits();
    const MFreeImage_2::Box pane = PaneBox(), fitted = FittedSize();
    // The wanted decodes, the most wanted first.
    struct Want {
        int row;
        MFreeImage_2::Box box;
    };
    std::vector<Want> wants;
    const bool refit = PicLoad.Width() != fitted.width || PicLoad.Height() != fitted.height;
    if (stillShown && refit) wants.push_back({row, pane});
    const bool fullView = FullViewOpen();
    if (!fullView) wholeAhead_.Clear();
    if (fullView) wants.push_back({row + 1, {}});
    wants.push_back({row + 1, pane});
    if (fullView) wants.push_back({row - 1, {}});
    wants.push_back({row - 1, pane});
    const MFreeImage_2::Box screenBox = ScreenBox();
    const mScaleImage::Placement onScreen =
        mScaleImage::FitInBox(preview_.Facts().width, preview_.Facts().height, screenBox.width,
                              screenBox.height, 0, true);
    if (stillShown && (onScreen.width > PicLoad.Width() || onScreen.height > PicLoad.Height()))
        wants.push_back({row, screenBox});
    for (const Want& want : wants) {
        if (want.row < 0 || want.row >= lvFiles->Model()->rowCount()) continue;
        const std::string path = folder + lvFiles->Model()->Row(want.row).name;
        const std::string tried = TriedName(path, want.box);
        cPictureCache& into = IsWhole(want.box) ? wholeAhead_ : cache_;
        cPictureCache::Key key;
        if (readAheadTried_.contains(tried) || !cPictureCache::KeyOf(path, key) ||
            into.Find(key, want.box.width, want.box.height))
            continue;
        readAheadTried_.insert(tried); // once for each choice, whatever comes of it
        FileHeader header;
        if (ReadFileHeader(path, header) != PreviewRoad::Still) continue;
        if (!StartDecode(path, want.box)) continue;
        readAheadKey_ = key;
        readAheadBox_ = want.box;
        return;
    }
}

void fMain::FinishReadAhead() {
    StillDecoder& decoder = StillDecoder::Shared();
    PictureBox answer;
    answer.SetBackColor(PicLoad.BackColor());
    const cPictureCache::Key key = std::exchange(readAheadKey_, {});
    const MFreeImage_2::Box box = std::exchange(readAheadBox_, {});
    if (decoder.Finish(answer)) {
        cPictureCache::Entry entry{
            key,       answer.Image(), decoder.FullWidth(),           decoder.FullHeight(),
            box.width, box.height,     decoder.ShownEmbeddedPreview()};
        if (IsWhole(box))
            wholeAhead_.Put(std::move(entry));
        else
            cache_.Put(std::move(entry));
        if (SameBox(box, PaneBox())) TakeRefit(key.path, answer.Image());
    }
    ReadAhead(); // the next one wanted
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

bool fMain::TakeReadAhead(const std::string& path, uint32_t id) {
    readAheadTried_.clear(); // a new choice has new neighbours
    cPictureCache::Key key;
    if (!cPictureCache::KeyOf(path, key)) return false;
    const MFreeImage_2::Box pane = PaneBox();
    if (const cPictureCache::Entry* e = cache_.Find(key, pane.width, pane.height)) {
        // Read ahead already: shown at once (a read-ahead under way goes on).
        const bool reduced =
            e->picture->Width() < e->fullWidth || e->picture->Height() < e->fullHeight;
        const StdPicture picture = e->picture;
        preview_.Answer(id, true, {e->fullWidth, e->fullHeight, 0, reduced, e->cameraPreview});
        PicLoad.AdoptSurface(picture);
        ShowChoice();
        return true;
    }
    if (stillNotifier_ && readAheadKey_ == key && SameBox(readAheadBox_, pane)) {
        // Being read ahead: that decode becomes this choice's.
        readAheadKey_ = {};
        readAheadBox_ = {};
        stillId_ = id;
        stillBox_ = pane;
        SetStillBusy(true);
        return true;
    }
    return false;
}

bool fMain::TakeWholeAhead(const std::string& path, uint32_t id) {
    cPictureCache::Key key;
    if (!cPictureCache::KeyOf(path, key)) return false;
    if (const cPictureCache::Entry* e = wholeAhead_.Find(key, 0, 0)) {
        // Read whole already: the full view shows it at once.
        const StdPicture picture = e->picture;
        preview_.Answer(id, true, {e->fullWidth, e->fullHeight, 0, false, e->cameraPreview});
        wholePicture_ = picture;
        wholePictureOf_ = path;
        ShowChoice();
        return true;
    }
    if (stillNotifier_ && readAheadKey_ == key && IsWhole(readAheadBox_)) {
        // Being read whole: that decode becomes the full view's.
        readAheadKey_ = {};
        readAheadBox_ = {};
        stillId_ = id;
        stillBox_ = {};
        SetStillBusy(true);
        return true;
    }
    return false;
}
