// What the preview is about, without widgets: which file the user chose last,
// whether its picture is still being decoded, what the pane shows, and what
// a full view may show. The main window tells it every choice and every
// decoder answer and asks it what to draw and say; each choice gets its own
// request number, so an answer that comes late, or for a file no longer
// chosen, is recognised and dropped. A failure is shown as a failure: the
// picture of an earlier file never stands under a later file's name.
// Standard library only.
#pragma once

#include <cstdint>
#include <string>

class cPreviewCore {
  public:
    enum class Kind { Still, Gif };
    enum class State {
        Empty,    // nothing chosen (start, or the folder could not be listed)
        Decoding, // the chosen file's picture is on its way
        Shown,    // the chosen file's picture is in the pane
        Failed,   // the chosen file could not be read or decoded
    };
    // What a full-view request leads to.
    enum class FullView {
        Open, // the chosen picture is there: show it
        Wait, // it is still decoding: show it when it arrives (busy pointer until then)
        None, // nothing to show: the request is refused
    };
    // The facts of a decoded picture, for the status panels.
    struct Picture {
        int width = 0; // the original's size, also when a smaller picture is shown
        int height = 0;
        int frames = 0;             // GIFs only
        bool reduced = false;       // the picture is fitted to the screen, not whole
        bool cameraPreview = false; // a camera's embedded preview of its raw picture
    };
    // The three status panels' texts.
    struct Status {
        std::string name, size, detail;
    };

    // The user chose `name` in `folder` (which ends in "/"); the request
    // number its answer must carry. Any full view waiting for an earlier
    // choice is given up.
    uint32_t Choose(const std::string& folder, const std::string& name, Kind kind);
    // The chosen file of request `id` turned out to be a GIF (its first
    // bytes say so): it is the animated viewer's now, under the same request.
    // False when `id` is not the choice decoding now.
    bool BecomeGif(uint32_t id);
    // A picture that stands in for the chosen one until it is decoded (a
    // thumbnail of the shared cache) is in the pane: the status names the
    // file, and gives the original's size when the thumbnail knows it
    // (0 x 0: not known yet). False when `id` is not the choice decoding now.
    bool ShowStandIn(uint32_t id, int fullWidth, int fullHeight);
    // A stand-in is in the pane while the picture decodes.
    bool StandInShown() const { return standIn_; }
    // The chosen file could not even be opened; `why` says so to the user.
    void ChooseUnreadable(const std::string& folder, const std::string& name,
                          const std::string& why);
    // The decoder's answer to request `id`. False when it is not for the file
    // chosen now (the caller drops the picture); otherwise the choice is shown
    // or failed. `why` is the user-facing reason of a failure, if one is known.
    bool Answer(uint32_t id, bool loaded, const Picture& facts, const std::string& why = {});
    // The folder could not be listed: nothing is chosen, and the status says why.
    void FolderFailed(const std::string& why);
    // A folder was listed: why one could not be, said since, is said no more.
    // True when that changed the status.
    bool FolderListed();
    // The chosen file went from its folder (removed, or moved elsewhere): it
    // stays chosen, nothing of it is shown, and the status says so. An answer
    // still on its way is dropped.
    void ChosenRemoved();
    // The chosen file was renamed in its folder: the choice follows it.
    void ChosenRenamed(const std::string& name);

    // Asked by Enter or a double click.
    FullView RequestFullView();
    // After an accepted answer: true, once, when a waiting full view should open now.
    bool TakeWaitingFullView();
    // A full view needs the whole picture where a reduced one is shown: the
    // request number to decode it with, once, or 0. Its answer comes through
    // `Answer` as any other.
    uint32_t TakeFullDecode();
    bool FullViewWaiting() const { return fullViewWaiting_; }
    // Esc while a full view waits for its picture: it will not open. The
    // whole picture, if on its way, still arrives for the cache.
    void DropWaitingFullView() { fullViewWaiting_ = fullViewReady_ = false; }
    // The shown picture was replaced by one of the same file fitted to a new
    // pane size: whether the pane now holds less than the whole picture,
    // which a full view must then decode.
    void Refitted(bool reduced) {
        if (state_ == State::Shown) facts_.reduced = reduced;
    }

    State state() const { return state_; }
    Kind kind() const { return kind_; }
    // The request in flight: the chosen file's picture, or its whole picture.
    uint32_t PendingId() const { return state_ == State::Decoding ? id_ : fullId_; }
    // The folder (ending in "/") and name of the file chosen last; empty before any.
    const std::string& Folder() const { return folder_; }
    const std::string& Name() const { return name_; }
    std::string Path() const { return folder_ + name_; }
    const Picture& Facts() const { return facts_; }
    // What the status panels say now. While a picture decodes they keep
    // describing the picture the pane still shows.
    Status StatusTexts() const { return status_; }

    // The fixed texts.
    static constexpr const char* kFailedText = "Cannot be shown";
    static constexpr const char* kFramesSuffix = " Frames";
    // A raw photo shown by the preview its camera stored in it, not developed.
    static constexpr const char* kCameraPreviewText = "Camera's preview";
    static constexpr const char* kRemovedText = "File removed";

  private:
    void SetStatus(const std::string& detail);
    uint32_t NextId();
    // The whole picture of the one shown is wanted for a full view.
    void WantWholePicture();
    bool AnswerWholePicture(bool loaded);

    uint32_t nextId_ = 1;
    uint32_t id_ = 0;
    uint32_t fullId_ = 0;           // the whole picture's request, while one is on its way
    bool fullDecodeWanted_ = false; // it is still to be started
    State state_ = State::Empty;
    Kind kind_ = Kind::Still;
    std::string folder_, name_;
    Picture facts_;
    Status status_;
    bool fullViewWaiting_ = false;
    bool fullViewReady_ = false;
    bool standIn_ = false;
};
