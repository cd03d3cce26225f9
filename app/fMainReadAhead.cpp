// Reading ahead in the main window: once the chosen picture shows, the
// pictures of the next and the previous row are decoded at the size the
// preview shows them, one at a time, into a small cache, so that arrowing
// either way shows the picture at once. A row whose picture is still being
// read ahead when it is chosen takes that decode over.
#include "app/fMain.h"

#include "app/mStartup.h"
#include "imaging/StillDecoder.h"

void fMain::ReadAhead() {
    if (stillNotifier_ || preview_.Folder().empty()) return; // one decode at a time
    std::string folder = sFolder;
    AddBackslash(folder);
    if (preview_.Folder() != folder) return;
    const int row = RowOfName(preview_.Name());
    if (row < 0) return;
    for (const int next : {row + 1, row - 1}) {
        if (next < 0 || next >= lvFiles->Model()->rowCount()) continue;
        const std::string path = folder + lvFiles->Model()->Row(next).name;
        cPictureCache::Key key;
        if (readAheadTried_.contains(path) || !cPictureCache::KeyOf(path, key) || cache_.Find(key))
            continue;
        readAheadTried_.insert(path); // once for each choice, whatever comes of it
        FileHeader header;
        if (ReadFileHeader(path, header) != PreviewRoad::Still) continue;
        if (!StartDecode(path, ScreenBox())) continue;
        readAheadKey_ = key;
        return;
    }
}

void fMain::FinishReadAhead() {
    StillDecoder& decoder = StillDecoder::Shared();
    PictureBox answer;
    answer.SetBackColor(PicLoad.BackColor());
    if (decoder.Finish(answer))
        cache_.Put({readAheadKey_, answer.Image(), decoder.FullWidth(), decoder.FullHeight()});
    readAheadKey_ = {};
    ReadAhead(); // the other neighbour
}

bool fMain::TakeReadAhead(const std::string& path, uint32_t id) {
    readAheadTried_.clear(); // a new choice has new neighbours
    cPictureCache::Key key;
    if (!cPictureCache::KeyOf(path, key)) return false;
    if (const cPictureCache::Entry* e = cache_.Find(key)) {
        // Read ahead already: shown at once (a read-ahead under way goes on).
        const bool reduced =
            e->picture->Width() < e->fullWidth || e->picture->Height() < e->fullHeight;
        const StdPicture picture = e->picture;
        preview_.Answer(id, true, {e->fullWidth, e->fullHeight, 0, reduced});
        PicLoad.AdoptSurface(picture);
        ShowChoice();
        return true;
    }
    if (stillNotifier_ && readAheadKey_ == key) {
        // Being read ahead: that decode becomes this choice's.
        readAheadKey_ = {};
        stillId_ = id;
        SetStillBusy(true);
        return true;
    }
    return false;
}
