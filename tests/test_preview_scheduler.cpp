// The preview scheduler's read-ahead policy: a table of situations (a list of
// photos, a choice in it, the pane, the screen, what is cached and decoding)
// and the work each one gives, in order, and cancels; then that each piece of
// work is given once for each choice, whatever came of it.
#include "app/PreviewScheduler.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

using Box = PreviewScheduler::Box;
using Work = PreviewScheduler::Work;
using Purpose = PreviewScheduler::Purpose;

const Box kPane{800, 600};
const Box kScreen{1920, 1080};

std::string PathOf(int row) {
    return "/photos/r" + std::to_string(row) + ".jpg";
}

// A piece of work written as "r3 800x600 next": the row, the box (or
// "whole") and what it is for.
std::string Text(const Work& w) {
    std::string row = w.path;
    row = row.substr(row.find("/r") + 1);
    row = row.substr(0, row.find('.'));
    const std::string box =
        w.box.Whole() ? "whole" : std::to_string(w.box.width) + 'x' + std::to_string(w.box.height);
    const char* purpose = w.purpose == Purpose::Refit            ? "refit"
                          : w.purpose == Purpose::Neighbour      ? "next"
                          : w.purpose == Purpose::WholeNeighbour ? "next-whole"
                                                                 : "screen";
    return row + ' ' + box + ' ' + purpose;
}

std::vector<std::string> Texts(const std::vector<Work>& list) {
    std::vector<std::string> out;
    for (const Work& w : list)
        out.push_back(Text(w));
    return out;
}

// Five 4000 x 3000 photos, the middle one chosen and shown fitted to an
// 800 x 600 pane; each case changes what it is about.
PreviewScheduler::Situation Photos() {
    PreviewScheduler::Situation s;
    s.chosen = 2;
    s.rows = 5;
    s.pathOf = PathOf;
    s.chosenStillShown = true;
    s.shownWidth = 800;
    s.shownHeight = 600;
    s.fullWidth = 4000;
    s.fullHeight = 3000;
    s.pane = kPane;
    s.screen = kScreen;
    return s;
}

struct Case {
    const char* name;
    PreviewScheduler::Situation situation;
    std::vector<std::string> start;
    std::vector<std::string> cancel;
    bool idle;
};

template <class Change> PreviewScheduler::Situation With(Change change) {
    PreviewScheduler::Situation s = Photos();
    change(s);
    return s;
}

std::vector<Case> Cases() {
    const auto cachedAtPane = [](const std::string& path, Box box) {
        return box == kPane && path != PathOf(2);
    };
    return {
        {"middle row: next, previous at the pane, then the screen's box",
         Photos(),
         {"r3 800x600 next", "r1 800x600 next", "r2 1920x1080 screen"},
         {},
         false},
        {"first row: no previous",
         With([](auto& s) { s.chosen = 0; }),
         {"r1 800x600 next", "r0 1920x1080 screen"},
         {},
         false},
        {"last row: no next",
         With([](auto& s) { s.chosen = 4; }),
         {"r3 800x600 next", "r4 1920x1080 screen"},
         {},
         false},
        {"single row: no neighbour at all",
         With([](auto& s) {
             s.chosen = 0;
             s.rows = 1;
         }),
         {"r0 1920x1080 screen"},
         {},
         false},
        {"full view open: each neighbour whole before it at the pane",
         With([](auto& s) { s.fullViewOpen = true; }),
         {"r3 whole next-whole", "r3 800x600 next", "r1 whole next-whole", "r1 800x600 next",
          "r2 1920x1080 screen"},
         {},
         false},
        {"settling: nothing started, and not idle, for the work is only postponed",
         With([](auto& s) { s.settling = true; }),
         {},
         {},
         false},
        {"the chosen picture on its way: nothing read ahead yet, and not idle",
         With([](auto& s) {
             s.chosenStillShown = false;
             s.choiceDecoding = true;
         }),
         {},
         {},
         false},
        {"cached neighbours are not read again",
         With([&](auto& s) { s.cached = cachedAtPane; }),
         {"r2 1920x1080 screen"},
         {},
         false},
        {"cached at the pane is not cached whole",
         With([&](auto& s) {
             s.cached = cachedAtPane;
             s.fullViewOpen = true;
         }),
         {"r3 whole next-whole", "r1 whole next-whole", "r2 1920x1080 screen"},
         {},
         false},
        {"pane grown since the picture was fitted: the refit comes first",
         With([](auto& s) {
             s.pane = {1000, 900};
         }),
         {"r2 1000x900 refit", "r3 1000x900 next", "r1 1000x900 next", "r2 1920x1080 screen"},
         {},
         false},
        {"pane shrunk: a refit too, and the neighbours at the new size",
         With([](auto& s) {
             s.pane = {400, 400};
         }),
         {"r2 400x400 refit", "r3 400x400 next", "r1 400x400 next", "r2 1920x1080 screen"},
         {},
         false},
        {"a picture smaller than the pane: no refit, nothing more on the screen",
         With([](auto& s) {
             s.fullWidth = s.shownWidth = 640;
             s.fullHeight = s.shownHeight = 480;
         }),
         {"r3 800x600 next", "r1 800x600 next"},
         {},
         false},
        {"a picture the screen shows no larger than the pane: no screen box",
         With([](auto& s) {
             s.fullWidth = s.shownWidth = 800;
             s.fullHeight = s.shownHeight = 600;
         }),
         {"r3 800x600 next", "r1 800x600 next"},
         {},
         false},
        {"a picture only a little larger than the pane: the screen box for the difference",
         With([](auto& s) {
             s.fullWidth = 820;
             s.fullHeight = 615;
         }),
         {"r3 800x600 next", "r1 800x600 next", "r2 1920x1080 screen"},
         {},
         false},
        {"a tall picture: the screen's fit is taller than the pane's",
         With([](auto& s) {
             s.fullWidth = 1000;
             s.fullHeight = 4000;
             s.shownWidth = 150;
             s.shownHeight = 600;
         }),
         {"r3 800x600 next", "r1 800x600 next", "r2 1920x1080 screen"},
         {},
         false},
        {"the chosen file is not a still shown (an animation, a failure): neighbours only",
         With([](auto& s) { s.chosenStillShown = false; }),
         {"r3 800x600 next", "r1 800x600 next"},
         {},
         false},
        {"a screen box the pane's size: one read serves the refit and the screen",
         With([](auto& s) {
             s.screen = kPane;
             s.shownWidth = 400;
             s.shownHeight = 300;
         }),
         {"r2 800x600 refit", "r3 800x600 next", "r1 800x600 next"},
         {},
         false},
        {"no screen known: no screen box",
         With([](auto& s) { s.screen = {}; }),
         {"r3 800x600 next", "r1 800x600 next"},
         {},
         false},
        {"a pane with no room: nothing read at its size",
         With([](auto& s) {
             s.pane = {0, 0};
             s.fullViewOpen = true;
         }),
         {"r3 whole next-whole", "r1 whole next-whole", "r2 1920x1080 screen"},
         {},
         false},
        {"arrowed on: the previous choice's far neighbour is cancelled, the one still wanted "
         "goes on",
         With([](auto& s) {
             s.chosen = 3;
             s.running = {{PathOf(1), kPane, Purpose::Neighbour},
                          {PathOf(4), kPane, Purpose::Neighbour}};
         }),
         {"r2 800x600 next", "r3 1920x1080 screen"},
         {"r1 800x600 next"},
         false},
        {"full view closed: its whole neighbour is cancelled",
         With([](auto& s) {
             s.running = {{PathOf(3), {}, Purpose::WholeNeighbour}};
         }),
         {"r3 800x600 next", "r1 800x600 next", "r2 1920x1080 screen"},
         {"r3 whole next-whole"},
         false},
        {"pane resized: work at its old size is cancelled even while it settles",
         With([](auto& s) {
             s.pane = {1000, 900};
             s.settling = true;
             s.running = {{PathOf(3), kPane, Purpose::Neighbour}};
         }),
         {},
         {"r3 800x600 next"},
         false},
        {"nothing chosen (the chosen row went): running work cancelled, and then idle, "
         "for nothing else will call for work",
         With([](auto& s) {
             s.chosen = -1;
             s.running = {{PathOf(3), kPane, Purpose::Neighbour}};
         }),
         {},
         {"r3 800x600 next"},
         true},
        {"nothing chosen and nothing running: idle",
         With([](auto& s) { s.chosen = -1; }),
         {},
         {},
         true},
        {"a choice past the end of a shortened list: idle",
         With([](auto& s) { s.rows = 2; }),
         {},
         {},
         true},
        {"everything cached: idle",
         With([](auto& s) { s.cached = [](const std::string&, Box) { return true; }; }),
         {},
         {},
         true},
        {"everything cached but one neighbour decoding: not idle, nothing more to start",
         With([](auto& s) {
             s.cached = [](const std::string& path, Box) { return path != PathOf(3); };
             s.running = {{PathOf(3), kPane, Purpose::Neighbour}};
         }),
         {},
         {},
         false},
    };
}

} // namespace

TEST(PreviewScheduler, WorkForEachSituation) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        const PreviewScheduler scheduler;
        const PreviewScheduler::Plan plan = scheduler.Next(c.situation);
        EXPECT_EQ(Texts(plan.start), c.start);
        EXPECT_EQ(Texts(plan.cancel), c.cancel);
        EXPECT_EQ(plan.idle, c.idle);
    }
}

TEST(PreviewScheduler, EachWorkIsTriedOnceForEachChoice) {
    PreviewScheduler scheduler;
    PreviewScheduler::Situation s = Photos();
    // The caller's lane takes the first; it fails (nothing cached, nothing
    // running): it is not given again for this choice.
    const Work first = scheduler.Next(s).start.at(0);
    EXPECT_EQ(Text(first), "r3 800x600 next");
    scheduler.Started(first);
    EXPECT_TRUE(scheduler.Tried(first));
    EXPECT_EQ(Texts(scheduler.Next(s).start),
              (std::vector<std::string>{"r1 800x600 next", "r2 1920x1080 screen"}));
    // The same work wanted for another reason is the same decode, tried.
    EXPECT_TRUE(scheduler.Tried({first.path, first.box, Purpose::Refit}));
    // The same file in another box is other work.
    s.pane = {1000, 900};
    EXPECT_EQ(Text(scheduler.Next(s).start.at(1)), "r3 1000x900 next");
    s.pane = kPane;
    // Everything tried: idle, though nothing was read.
    for (const Work& w : scheduler.Next(s).start)
        scheduler.Started(w);
    EXPECT_TRUE(scheduler.Next(s).idle);
    // A new choice tries everything again.
    scheduler.NewChoice();
    EXPECT_FALSE(scheduler.Tried(first));
    EXPECT_EQ(scheduler.Next(s).start.size(), 3u);
}
