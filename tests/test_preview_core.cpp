// The preview core: which file is chosen, decoding and shown, driven as a
// decoder helper would drive it: answers that come slowly, out of order, for
// a file no longer chosen, or never. A full view is of the chosen file only.
#include "app/cPreviewCore.h"

#include <gtest/gtest.h>

namespace {

using Kind = cPreviewCore::Kind;
using State = cPreviewCore::State;
using FullView = cPreviewCore::FullView;

const cPreviewCore::Picture kA{640, 480, 0};
const cPreviewCore::Picture kB{4000, 3000, 0};

void ExpectStatus(const cPreviewCore& p, const std::string& name, const std::string& size,
                  const std::string& detail) {
    const cPreviewCore::Status s = p.StatusTexts();
    EXPECT_EQ(s.name, name);
    EXPECT_EQ(s.size, size);
    EXPECT_EQ(s.detail, detail);
}

} // namespace

TEST(PreviewCore, NothingChosenOpensNoFullView) {
    cPreviewCore p;
    EXPECT_EQ(p.state(), State::Empty);
    EXPECT_EQ(p.RequestFullView(), FullView::None);
    EXPECT_FALSE(p.TakeWaitingFullView());
    ExpectStatus(p, "", "", "");
}

TEST(PreviewCore, AnswersForEarlierChoicesAreDropped) {
    cPreviewCore p;
    const uint32_t a = p.Choose("/f/", "a.jpg", Kind::Still);
    const uint32_t b = p.Choose("/f/", "b.jpg", Kind::Still);
    EXPECT_NE(a, b);
    // A's answer arrives after B was chosen: not shown under B's name.
    EXPECT_FALSE(p.Answer(a, true, kA));
    EXPECT_EQ(p.state(), State::Decoding);
    EXPECT_EQ(p.Name(), "b.jpg");
    EXPECT_TRUE(p.Answer(b, true, kB));
    ExpectStatus(p, "b.jpg", "4000x3000", "");
    // A second answer, or A's once more, changes nothing.
    EXPECT_FALSE(p.Answer(b, false, {}));
    EXPECT_FALSE(p.Answer(a, true, kA));
    EXPECT_EQ(p.state(), State::Shown);
    EXPECT_EQ(p.Facts().width, 4000);
}

TEST(PreviewCore, WhileDecodingTheStatusDescribesWhatThePaneShows) {
    cPreviewCore p;
    ASSERT_TRUE(p.Answer(p.Choose("/f/", "a.png", Kind::Still), true, kA));
    p.Choose("/f/", "b.png", Kind::Still);
    ExpectStatus(p, "a.png", "640x480", "");
    EXPECT_EQ(p.Path(), "/f/b.png"); // the choice itself is B's
}

TEST(PreviewCore, FullViewOfAFileStillDecodingWaitsForIt) {
    // A shown; B chosen; Enter at once: never A under B's name.
    cPreviewCore p;
    ASSERT_TRUE(p.Answer(p.Choose("/f/", "a.jpg", Kind::Still), true, kA));
    const uint32_t b = p.Choose("/f/", "b.jpg", Kind::Still);
    EXPECT_EQ(p.RequestFullView(), FullView::Wait);
    EXPECT_TRUE(p.FullViewWaiting());
    EXPECT_FALSE(p.TakeWaitingFullView()); // not before B is there
    EXPECT_TRUE(p.Answer(b, true, kB));
    EXPECT_TRUE(p.TakeWaitingFullView());
    EXPECT_FALSE(p.TakeWaitingFullView()); // once
    EXPECT_EQ(p.RequestFullView(), FullView::Open);
}

TEST(PreviewCore, AWaitingFullViewEndsWithTheChoice) {
    struct Row {
        const char* what;
        bool chooseAgain; // another file is chosen while the first decodes
        bool loaded;      // the answer for the file chosen last
        bool opens;
    };
    const Row rows[] = {
        {"the picture fails", false, false, false},
        {"another file is chosen, whose picture arrives", true, true, false},
        {"another file is chosen, which fails", true, false, false},
    };
    for (const Row& r : rows) {
        cPreviewCore p;
        uint32_t id = p.Choose("/f/", "a.jpg", Kind::Still);
        ASSERT_EQ(p.RequestFullView(), FullView::Wait) << r.what;
        if (r.chooseAgain) {
            id = p.Choose("/f/", "c.jpg", Kind::Still);
            EXPECT_FALSE(p.FullViewWaiting()) << r.what;
        }
        EXPECT_TRUE(p.Answer(id, r.loaded, kA)) << r.what;
        EXPECT_EQ(p.TakeWaitingFullView(), r.opens) << r.what;
        EXPECT_FALSE(p.FullViewWaiting()) << r.what;
    }
}

TEST(PreviewCore, AHelperThatNeverAnswersLeavesTheChoicePending) {
    cPreviewCore p;
    const uint32_t id = p.Choose("/f/", "slow.tif", Kind::Still);
    EXPECT_EQ(p.PendingId(), id);
    EXPECT_EQ(p.RequestFullView(), FullView::Wait);
    // The window's time limit answers for it.
    EXPECT_TRUE(p.Answer(id, false, {}, "Decoding took too long"));
    EXPECT_EQ(p.PendingId(), 0u);
    EXPECT_FALSE(p.TakeWaitingFullView());
    ExpectStatus(p, "slow.tif", "", "Decoding took too long");
    EXPECT_EQ(p.RequestFullView(), FullView::None);
}

TEST(PreviewCore, StatusTextsOfEachOutcome) {
    struct Row {
        Kind kind;
        bool loaded;
        cPreviewCore::Picture facts;
        std::string why, size, detail;
    };
    const Row rows[] = {
        {Kind::Still, true, {640, 480, 0}, "", "640x480", ""},
        {Kind::Gif, true, {65535, 1, 24}, "", "65535x1", "24 Frames"},
        {Kind::Gif, true, {1, 1, 1}, "", "1x1", "1 Frames"},
        // A raw photo shown by its camera's preview: the size is the photo's, and the status says
        // so.
        {Kind::Still,
         true,
         {6000, 4000, 0, false, true},
         "",
         "6000x4000",
         cPreviewCore::kCameraPreviewText},
        {Kind::Still, false, {6000, 4000, 0, false, true}, "", "", cPreviewCore::kFailedText},
        {Kind::Still, false, {640, 480, 0}, "", "", cPreviewCore::kFailedText},
        {Kind::Gif, false, {0, 0, 0}, "", "", cPreviewCore::kFailedText},
        {Kind::Still,
         false,
         {},
         "The decoder helper could not be started",
         "",
         "The decoder helper could not be started"},
    };
    for (const Row& r : rows) {
        cPreviewCore p;
        ASSERT_TRUE(p.Answer(p.Choose("/f/", " spaced.gif ", r.kind), r.loaded, r.facts, r.why));
        ExpectStatus(p, " spaced.gif ", r.size, r.detail);
        EXPECT_EQ(p.state(), r.loaded ? State::Shown : State::Failed);
        EXPECT_EQ(p.RequestFullView(), r.loaded ? FullView::Open : FullView::None);
    }
}

TEST(PreviewCore, AnUnreadableFileIsAFailedChoice) {
    cPreviewCore p;
    ASSERT_TRUE(p.Answer(p.Choose("/f/", "a.png", Kind::Still), true, kA));
    p.ChooseUnreadable("/f/", "locked.png", "Permission denied");
    EXPECT_EQ(p.state(), State::Failed);
    EXPECT_EQ(p.Path(), "/f/locked.png");
    ExpectStatus(p, "locked.png", "", "Permission denied");
    EXPECT_EQ(p.RequestFullView(), FullView::None);
}

TEST(PreviewCore, AFolderThatCannotBeListedChoosesNothing) {
    cPreviewCore p;
    const uint32_t id = p.Choose("/gone/", "a.png", Kind::Still);
    ASSERT_EQ(p.RequestFullView(), FullView::Wait);
    p.FolderFailed("Folder not found");
    EXPECT_EQ(p.state(), State::Empty);
    EXPECT_TRUE(p.Name().empty());
    EXPECT_FALSE(p.FullViewWaiting());
    ExpectStatus(p, "Folder not found", "", "");
    // The picture of the folder's file arrives afterwards: dropped.
    EXPECT_FALSE(p.Answer(id, true, kA));
    EXPECT_FALSE(p.TakeWaitingFullView());
    EXPECT_EQ(p.RequestFullView(), FullView::None);
}

// The preview may hold the picture fitted to the screen; a full view wants
// the whole one, decoded for it once, opened when it comes.
TEST(PreviewCore, AFullViewOfAReducedPictureWaitsForTheWholeOne) {
    const cPreviewCore::Picture reduced{6000, 4000, 0, true};
    { // shown reduced, then Enter
        cPreviewCore p;
        ASSERT_TRUE(p.Answer(p.Choose("/f/", "big.jpg", Kind::Still), true, reduced));
        EXPECT_EQ(p.TakeFullDecode(), 0u); // nobody asked yet
        EXPECT_EQ(p.RequestFullView(), FullView::Wait);
        const uint32_t whole = p.TakeFullDecode();
        EXPECT_NE(whole, 0u);
        EXPECT_EQ(p.TakeFullDecode(), 0u);              // started once
        EXPECT_EQ(p.RequestFullView(), FullView::Wait); // asked again: the same decode
        EXPECT_EQ(p.TakeFullDecode(), 0u);
        EXPECT_EQ(p.PendingId(), whole);
        EXPECT_TRUE(p.Answer(whole, true, reduced));
        EXPECT_TRUE(p.TakeWaitingFullView());
        EXPECT_FALSE(p.Facts().reduced);
        ExpectStatus(p, "big.jpg", "6000x4000", "");
        EXPECT_EQ(p.RequestFullView(), FullView::Open);
    }
    { // Enter while the reduced picture decodes: the whole one follows it
        cPreviewCore p;
        const uint32_t id = p.Choose("/f/", "big.jpg", Kind::Still);
        ASSERT_EQ(p.RequestFullView(), FullView::Wait);
        ASSERT_TRUE(p.Answer(id, true, reduced));
        EXPECT_FALSE(p.TakeWaitingFullView()); // not the reduced one
        const uint32_t whole = p.TakeFullDecode();
        ASSERT_NE(whole, 0u);
        // The whole picture fails: no full view, the reduced one stays shown.
        EXPECT_TRUE(p.Answer(whole, false, {}));
        EXPECT_FALSE(p.TakeWaitingFullView());
        EXPECT_FALSE(p.FullViewWaiting());
        EXPECT_EQ(p.state(), State::Shown);
        ExpectStatus(p, "big.jpg", "6000x4000", "");
    }
    { // another file chosen while the whole picture decodes: its answer is dropped
        cPreviewCore p;
        ASSERT_TRUE(p.Answer(p.Choose("/f/", "big.jpg", Kind::Still), true, reduced));
        p.RequestFullView();
        const uint32_t whole = p.TakeFullDecode();
        const uint32_t next = p.Choose("/f/", "next.jpg", Kind::Still);
        EXPECT_FALSE(p.Answer(whole, true, reduced));
        EXPECT_EQ(p.PendingId(), next);
        EXPECT_FALSE(p.TakeWaitingFullView());
    }
}

// The chosen file changing on disk: removed (shown, decoding or with a full
// view waiting), it stays named with nothing shown and no full view, and a
// late answer is dropped; renamed, the choice follows it.
TEST(PreviewCore, TheChosenFileRemovedOrRenamed) {
    const struct {
        const char* what;
        bool answered;      // its picture had come
        bool fullViewAsked; // Enter before it went
        bool reduced;       // the pane holds less than the whole picture
    } cases[] = {
        {"shown", true, false, false},
        {"still decoding", false, false, false},
        {"decoding, a full view waiting", false, true, false},
        {"a reduced picture, the whole one on its way", true, true, true},
    };
    for (const auto& c : cases) {
        cPreviewCore p;
        const uint32_t id = p.Choose("/f/", "a.jpg", Kind::Still);
        if (c.answered) {
            ASSERT_TRUE(p.Answer(id, true, {4000, 3000, 0, c.reduced}));
        }
        if (c.fullViewAsked) p.RequestFullView();
        const uint32_t whole = p.TakeFullDecode();
        p.ChosenRemoved();
        EXPECT_EQ(p.state(), State::Failed) << c.what;
        ExpectStatus(p, "a.jpg", "", cPreviewCore::kRemovedText);
        EXPECT_EQ(p.Path(), "/f/a.jpg") << c.what;
        EXPECT_FALSE(p.FullViewWaiting()) << c.what;
        EXPECT_EQ(p.RequestFullView(), FullView::None) << c.what;
        EXPECT_FALSE(p.Answer(id, true, kA)) << c.what;
        if (whole != 0) {
            EXPECT_FALSE(p.Answer(whole, true, kB)) << c.what;
        }
        EXPECT_FALSE(p.TakeWaitingFullView()) << c.what;
        EXPECT_EQ(p.PendingId(), 0u) << c.what;
    }

    cPreviewCore renamed;
    ASSERT_TRUE(renamed.Answer(renamed.Choose("/f/", "a.jpg", Kind::Still), true, kA));
    renamed.ChosenRenamed("b.jpg");
    EXPECT_EQ(renamed.Path(), "/f/b.jpg");
    EXPECT_EQ(renamed.state(), State::Shown);
    ExpectStatus(renamed, "b.jpg", "640x480", "");
    // While another picture decodes, the status keeps describing the one shown.
    const uint32_t next = renamed.Choose("/f/", "c.jpg", Kind::Still);
    renamed.ChosenRenamed("d.jpg");
    ExpectStatus(renamed, "b.jpg", "640x480", "");
    EXPECT_TRUE(renamed.Answer(next, true, kB));
    ExpectStatus(renamed, "d.jpg", "4000x3000", "");

    // Nothing chosen: nothing to remove or rename.
    cPreviewCore none;
    none.ChosenRemoved();
    none.ChosenRenamed("x.jpg");
    EXPECT_EQ(none.state(), State::Empty);
    EXPECT_TRUE(none.Name().empty());
}

// A thumbnail stands in while the chosen picture decodes: the status names the
// new file and says the original's size only when the thumbnail knows it; a
// stand-in for an earlier choice, or after the answer, changes nothing.
TEST(PreviewCore, AStandInSaysWhatItKnows) {
    cPreviewCore p;
    const uint32_t a = p.Choose("/f/", "a.jpg", Kind::Still);
    ASSERT_TRUE(p.Answer(a, true, kA));
    const uint32_t b = p.Choose("/f/", "b.jpg", Kind::Still);
    ExpectStatus(p, "a.jpg", "640x480", ""); // the pane still shows a's picture
    EXPECT_FALSE(p.ShowStandIn(a, 1, 1));    // another choice's
    ASSERT_TRUE(p.ShowStandIn(b, 4000, 3000));
    EXPECT_TRUE(p.StandInShown());
    EXPECT_EQ(p.state(), State::Decoding);
    ExpectStatus(p, "b.jpg", "4000x3000", "");
    // The decoded picture replaces it, with the decoder's word on the size.
    ASSERT_TRUE(p.Answer(b, true, kB));
    EXPECT_FALSE(p.StandInShown());
    EXPECT_FALSE(p.ShowStandIn(b, 1, 1));
    ExpectStatus(p, "b.jpg", "4000x3000", "");
    // A thumbnail without the original's size: no size until the decode, and
    // a decode that fails says so, the stand-in gone.
    const uint32_t c = p.Choose("/f/", "c.jpg", Kind::Still);
    ASSERT_TRUE(p.ShowStandIn(c, 0, 0));
    ExpectStatus(p, "c.jpg", "", "");
    ASSERT_TRUE(p.Answer(c, false, {}, "Decoding took too long"));
    EXPECT_FALSE(p.StandInShown());
    ExpectStatus(p, "c.jpg", "", "Decoding took too long");
    // A GIF is shown by its own viewer: no stand-in for it.
    const uint32_t g = p.Choose("/f/", "g.gif", Kind::Gif);
    EXPECT_FALSE(p.ShowStandIn(g, 10, 10));
}
