// The read-ahead policy: one list of the work a situation wants, in the order
// a person arrowing through the list needs it; what is wanted, tried, cached
// or decoding already is left out of what to start, and running work that is
// no longer on the list is to be cancelled.
#include "app/PreviewScheduler.h"

#include "imaging/mFit.h"

#include <algorithm>

namespace {

using Box = PreviewScheduler::Box;
using Work = PreviewScheduler::Work;
using Purpose = PreviewScheduler::Purpose;

// Work is the same decode when it reads the same file into the same box,
// whatever it was wanted for.
bool SameDecode(const Work& a, const Work& b) {
    return a.path == b.path && a.box == b.box;
}

bool Holds(const std::vector<Work>& list, const Work& work) {
    return std::any_of(list.begin(), list.end(),
                       [&](const Work& w) { return SameDecode(w, work); });
}

std::string TriedName(const Work& work) {
    return work.path + '\n' + std::to_string(work.box.width) + 'x' +
           std::to_string(work.box.height);
}

// The work the situation wants, most wanted first, before anything is left
// out for having been tried, being cached or decoding already.
std::vector<Work> Wanted(const PreviewScheduler::Situation& s) {
    std::vector<Work> wanted;
    if (s.chosen < 0 || s.chosen >= s.rows || !s.pathOf) return wanted;
    const auto want = [&](int row, Box box, Purpose purpose) {
        if (row < 0 || row >= s.rows) return;
        Work work{s.pathOf(row), box, purpose};
        if (!work.path.empty() && !Holds(wanted, work)) wanted.push_back(std::move(work));
    };
    // A pane with no room shows nothing: nothing is read for it (a box of
    // no size would mean the whole picture).
    const bool paneHasRoom = !s.pane.Whole();
    const mFit::Placement fitted =
        mFit::FitInBox(s.fullWidth, s.fullHeight, s.pane.width, s.pane.height, 0, true);
    if (s.chosenStillShown && paneHasRoom &&
        (s.shownWidth != fitted.width || s.shownHeight != fitted.height))
        want(s.chosen, s.pane, Purpose::Refit);
    for (const int row : {s.chosen + 1, s.chosen - 1}) {
        if (s.fullViewOpen) want(row, {}, Purpose::WholeNeighbour);
        if (paneHasRoom) want(row, s.pane, Purpose::Neighbour);
    }
    if (s.chosenStillShown && !s.screen.Whole()) {
        const mFit::Placement onScreen =
            mFit::FitInBox(s.fullWidth, s.fullHeight, s.screen.width, s.screen.height, 0, true);
        if (onScreen.width > s.shownWidth || onScreen.height > s.shownHeight)
            want(s.chosen, s.screen, Purpose::Screen);
    }
    return wanted;
}

} // namespace

PreviewScheduler::Plan PreviewScheduler::Next(const Situation& situation) const {
    Plan plan;
    const std::vector<Work> wanted = Wanted(situation);
    for (const Work& running : situation.running)
        if (!Holds(wanted, running)) plan.cancel.push_back(running);
    // A pane still changing size is read for once it keeps its size, and
    // nothing is read ahead while the chosen picture is on its way.
    const bool postponed = situation.settling || situation.choiceDecoding;
    if (!postponed) {
        for (const Work& work : wanted) {
            if (Tried(work) || Holds(situation.running, work) ||
                (situation.cached && situation.cached(work.path, work.box)))
                continue;
            plan.start.push_back(work);
        }
    }
    // Running work about to be cancelled keeps nothing busy.
    const bool stillRunning = situation.running.size() > plan.cancel.size();
    plan.idle = plan.start.empty() && !stillRunning && !postponed;
    return plan;
}

void PreviewScheduler::Started(const Work& work) {
    tried_.insert(TriedName(work));
}

bool PreviewScheduler::Tried(const Work& work) const {
    return tried_.contains(TriedName(work));
}
