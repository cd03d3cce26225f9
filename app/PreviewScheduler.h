// Decides what the preview decodes and in what order, without widgets: given
// the chosen row, the rows as they are shown, the pane's and the screen's box,
// what is cached and what is decoding, whether a full view is open and whether
// the pane is settling, it gives the work to start, most wanted first, and the
// running work nobody wants any more. Its policy reads ahead the way a person
// arrows: the chosen picture refitted to a pane that changed size, the next
// and the previous row at the pane's size (whole as well while a full view is
// open, for stepping there), then the chosen picture at the screen's size, that
// a pane changing size is drawn from. Each piece of work is tried once for
// each choice, whatever comes of it. Standard library only.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

class PreviewScheduler {
  public:
    struct Box {
        int width = 0, height = 0; // 0 x 0: the whole picture
        bool Whole() const { return width <= 0 || height <= 0; }
        bool operator==(const Box&) const = default;
    };
    enum class Purpose {
        Refit,          // the chosen picture, fitted to the pane as it is now
        Neighbour,      // the next or previous row at the pane's size
        WholeNeighbour, // the same whole, for a full view stepping there
        Screen,         // the chosen picture at the screen's size
    };
    struct Work {
        std::string path;
        Box box;
        Purpose purpose = Purpose::Neighbour;
        bool operator==(const Work&) const = default;
    };
    struct Situation {
        int chosen = -1;                        // row of the chosen file; -1: none listed
        int rows = 0;                           // rows as they are shown
        std::function<std::string(int)> pathOf; // the path of a row
        bool chosenStillShown = false;          // the chosen file is a still picture, in the pane
        int shownWidth = 0, shownHeight = 0;    // the size of the picture in the pane
        int fullWidth = 0, fullHeight = 0;      // the chosen original's
        Box pane, screen;
        bool fullViewOpen = false;
        bool settling = false;       // the pane still changes size
        bool choiceDecoding = false; // the chosen picture is on its way: all waits
        // A picture of this path in this box is kept.
        std::function<bool(const std::string&, Box)> cached;
        std::vector<Work> running; // read-ahead work decoding now
    };
    struct Plan {
        std::vector<Work> start;  // most wanted first; the caller starts what its lanes take
        std::vector<Work> cancel; // running work that is wanted no more
        bool idle =
            false; // nothing to start, nothing running but what is cancelled, nothing postponed
    };

    // A new choice (or a new list): every piece of work may be tried again.
    void NewChoice() { tried_.clear(); }
    // The work wanted in `situation`, leaving out what was tried for this choice.
    Plan Next(const Situation& situation) const;
    // The caller started `work` (whatever comes of it, it is not given again
    // for this choice).
    void Started(const Work& work);
    bool Tried(const Work& work) const;

  private:
    std::set<std::string> tried_;
};
