#include "core/undo.h"

#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "core/packed_pixels.h"
#include "core/registry.h"
#include "core/state.h"
#include "toolkit/image_store.h"

namespace {

struct Calls {
    int refreshes = 0;
    int keepSelection = -1;
    int fits = 0;
    bool undoEnabled = false;
    bool redoEnabled = false;
    int buttonUpdates = 0;
    std::vector<std::string> notices;
};
Calls calls;

// Records what the history asks of the view.
class RecordingServices : public ViewServices {
  public:
    void refreshView(int, int keep) override {
        ++calls.refreshes;
        calls.keepSelection = keep;
    }
    void fitWindowToImage(int) override { ++calls.fits; }
    void setUndoButtons(bool u, bool r) override {
        calls.undoEnabled = u;
        calls.redoEnabled = r;
        ++calls.buttonUpdates;
    }
    void showNotice(const std::string& text) override { calls.notices.push_back(text); }
};
RecordingServices recording;

class UndoTest : public ::testing::Test {
  protected:
    void SetUp() override {
        freeAllImages();
        clearUndo();
        undoFlags = 0;
        calls = Calls{};
        setServices(&recording);
        createImage(viewImage, 4, 3, 24, 0);  // the "loaded" state, value 0
        resetUndo();
    }
    void TearDown() override {
        clearUndo();
        freeAllImages();
        setServices(nullptr);
        setUndoBudgetBytes(0);
        failAllocationAfter(0);
    }

    // An operation: changes the document's first pixel to `value`, then snapshots.
    static void operation(uint32_t value) {
        findImage(viewImage)->at(0, 0) = value;
        takeSnapshot(viewImage);
    }
    static uint32_t viewValue() { return findImage(viewImage)->at(0, 0); }
    static uint32_t entryValue(size_t i) { return undoEntryImage(i).at(0, 0); }
};

TEST_F(UndoTest, ResetLeavesOneEntryAndBothButtonsOff) {
    ASSERT_EQ(undoEntryCount(), 1u);
    EXPECT_EQ(undoPosition, 0);
    EXPECT_EQ(undoFlags, 0);
    EXPECT_FALSE(calls.undoEnabled);
    EXPECT_FALSE(calls.redoEnabled);
    // The entry is a private copy, not the document itself.
    findImage(viewImage)->at(2, 2) = 5;
    EXPECT_EQ(undoEntryImage(0).at(2, 2), 0xFF000000u);
}

TEST_F(UndoTest, ThreeOperationsTwoUndosAndAFourthDropTheRedoBranch) {
    operation(1);
    operation(2);
    operation(3);
    EXPECT_TRUE(calls.undoEnabled);
    EXPECT_FALSE(calls.redoEnabled);
    undo();
    undo();
    EXPECT_EQ(viewValue(), 1u);
    EXPECT_TRUE(calls.undoEnabled);
    EXPECT_TRUE(calls.redoEnabled);
    operation(4);
    ASSERT_EQ(undoEntryCount(), 3u);
    EXPECT_EQ(undoPosition, 2);
    EXPECT_EQ(entryValue(0), 0xFF000000u);
    EXPECT_EQ(entryValue(1), 1u);
    EXPECT_EQ(entryValue(2), 4u);
    EXPECT_TRUE(calls.undoEnabled);
    EXPECT_FALSE(calls.redoEnabled);
    // The history keeps its entries to itself: the document is the only numbered image.
    EXPECT_EQ(imageCount(), 1);
}

TEST_F(UndoTest, UndoAtTheFirstEntryStaysAndRewritesTheDocument) {
    findImage(viewImage)->at(1, 1) = 77;  // an unsaved scribble
    undo();
    EXPECT_EQ(undoPosition, 0);
    EXPECT_EQ(findImage(viewImage)->at(1, 1), 0xFF000000u);
    EXPECT_FALSE(calls.undoEnabled);
    EXPECT_FALSE(calls.redoEnabled);

    operation(5);
    undo();
    undo();
    EXPECT_EQ(undoPosition, 0);
    EXPECT_FALSE(calls.undoEnabled);
    EXPECT_TRUE(calls.redoEnabled);  // a later entry exists
}

TEST_F(UndoTest, RedoAtTheLastEntryMovesNothing) {
    operation(1);
    redo();
    EXPECT_EQ(undoPosition, 1);
    EXPECT_EQ(viewValue(), 1u);
    EXPECT_TRUE(calls.undoEnabled);
    EXPECT_FALSE(calls.redoEnabled);
    undo();
    redo();
    EXPECT_EQ(undoPosition, 1);
    EXPECT_EQ(viewValue(), 1u);
    EXPECT_FALSE(calls.redoEnabled);
}

TEST_F(UndoTest, RevertAfterUndoReturnsToTheFirstEntry) {
    operation(1);
    operation(2);
    undo();
    revert();
    EXPECT_EQ(viewValue(), 0xFF000000u);
    ASSERT_EQ(undoEntryCount(), 1u);
    EXPECT_EQ(undoPosition, 0);
    EXPECT_EQ(undoFlags, 0);
    EXPECT_FALSE(calls.undoEnabled);
    EXPECT_FALSE(calls.redoEnabled);
    EXPECT_EQ(calls.fits, 1);
    EXPECT_EQ(imageCount(), 1);
}

TEST_F(UndoTest, SameSizeKeepsTheSelectionAndNewSizeRefits) {
    operation(1);
    undo();
    EXPECT_EQ(calls.refreshes, 1);
    EXPECT_EQ(calls.keepSelection, 1);
    EXPECT_EQ(calls.fits, 0);
    redo();
    // A change of size, as a quarter turn makes.
    storeImage(viewImage, Image(3, 4, 24, 9));
    takeSnapshot(viewImage);
    undo();
    EXPECT_EQ(calls.fits, 1);
    EXPECT_EQ(findImage(viewImage)->width, 4);
}

TEST_F(UndoTest, FlagsFollowThePositionInTheHistory) {
    operation(1);
    EXPECT_EQ(undoFlags, 1);  // undo only
    operation(2);
    undo();
    EXPECT_EQ(undoFlags, 3);  // both ways
    undo();
    EXPECT_EQ(undoFlags, 2);  // redo only
    redo();
    redo();
    EXPECT_EQ(undoFlags, 1);
    undo();
    // A change in the middle drops the redo branch.
    operation(3);
    EXPECT_EQ(undoFlags, 1);
    EXPECT_EQ(undoEntryCount(), 3u);
    revert();
    EXPECT_EQ(undoFlags, 0);
}

TEST_F(UndoTest, UndoAndRedoOnAnEmptyListDoNothing) {
    clearUndo();
    Image before = *findImage(viewImage);
    undo();
    redo();
    revert();
    EXPECT_EQ(*findImage(viewImage), before);
    EXPECT_EQ(undoEntryCount(), 0u);
}

TEST_F(UndoTest, ResetWithoutADocumentDoesNothing) {
    operation(1);
    freeImage(viewImage);
    resetUndo();
    EXPECT_EQ(undoEntryCount(), 2u);
}

TEST_F(UndoTest, UndoRewritesTheWholeDocumentNotOnlyTheChangedPixels) {
    operation(1);
    operation(2);
    findImage(viewImage)->at(3, 2) = 77;  // a scribble away from the changed pixel
    undo();
    EXPECT_EQ(*findImage(viewImage), undoEntryImage(1));
    findImage(viewImage)->at(3, 2) = 78;
    redo();
    EXPECT_EQ(*findImage(viewImage), undoEntryImage(2));
    EXPECT_EQ(findImage(viewImage)->at(3, 2), 0xFF000000u);
}

// --- Memory ------------------------------------------------------------------------------

TEST_F(UndoTest, ASnapshotWithoutMemoryTakesTheChangeBack) {
    operation(1);
    // Every allocation of the snapshot in turn fails: each time the change is taken back,
    // so the document matches the current entry, and nothing else moves.
    int failures = 0;
    for (int n = 1;; ++n) {
        calls.notices.clear();
        failAllocationAfter(n);
        operation(2);
        failAllocationAfter(0);
        if (undoEntryCount() == 3) break;
        ++failures;
        ASSERT_EQ(undoEntryCount(), 2u) << n;
        EXPECT_EQ(undoPosition, 1);
        EXPECT_EQ(viewValue(), 1u) << n;
        EXPECT_EQ(calls.notices, std::vector<std::string>{changeNotRecordedNotice});
        EXPECT_TRUE(calls.undoEnabled);
        EXPECT_FALSE(calls.redoEnabled);
    }
    EXPECT_GT(failures, 0);
    EXPECT_EQ(viewValue(), 2u);
    undo();
    EXPECT_EQ(viewValue(), 1u);
    undo();
    EXPECT_EQ(viewValue(), 0xFF000000u);
    // A change of size taken back restores the old size too.
    failAllocationAfter(1);
    storeImage(viewImage, Image(2, 9, 24, 9));
    takeSnapshot(viewImage);
    failAllocationAfter(0);
    EXPECT_EQ(findImage(viewImage)->width, 4);
    EXPECT_EQ(*findImage(viewImage), undoEntryImage(0));
}

TEST_F(UndoTest, UndoAndRedoWithoutMemoryMoveNothing) {
    operation(1);
    storeImage(viewImage, Image(3, 4, 24, 9));  // a change of size as well
    takeSnapshot(viewImage);
    for (int direction : {-1, -1, 1, 1}) {
        int failures = 0;
        for (int n = 1;; ++n) {
            const int position = undoPosition;
            const Image before = *findImage(viewImage);
            const int refreshes = calls.refreshes, fits = calls.fits;
            calls.notices.clear();
            failAllocationAfter(n);
            direction < 0 ? undo() : redo();
            failAllocationAfter(0);
            if (undoPosition != position) break;
            ++failures;
            EXPECT_EQ(*findImage(viewImage), before);
            EXPECT_EQ(calls.refreshes + calls.fits, refreshes + fits);
            EXPECT_EQ(calls.notices, std::vector<std::string>{direction < 0 ? undoFailedNotice
                                                                            : redoFailedNotice});
        }
        EXPECT_GT(failures, 0);
        EXPECT_EQ(*findImage(viewImage), undoEntryImage(undoPosition));
    }
    EXPECT_EQ(undoPosition, 2);
}

TEST_F(UndoTest, TheBudgetDropsTheOldestEntriesWithOneNotice) {
    // 64 x 64 pixels of noise: each change of every pixel costs about a whole image.
    Image noise(64, 64, 24);
    uint32_t seed = 1;
    auto scramble = [&seed](Image& image) {
        for (uint32_t& p : image.pixels) {
            seed = seed * 1103515245 + 12345;
            p = (seed >> 8) | alphaMask;
        }
    };
    scramble(noise);
    storeImage(viewImage, noise);
    resetUndo();
    const size_t imageBytes = 64 * 64 * 4;
    setUndoBudgetBytes(6 * imageBytes);
    std::vector<Image> states = {noise};
    for (int i = 0; i < 12; ++i) {
        scramble(*findImage(viewImage));
        takeSnapshot(viewImage);
        states.push_back(*findImage(viewImage));
        EXPECT_LE(undoHeldBytes(), 6 * imageBytes) << i;
    }
    ASSERT_LT(undoEntryCount(), states.size());
    EXPECT_GE(undoEntryCount(), 2u);
    EXPECT_EQ(calls.notices, std::vector<std::string>{oldestUndoDroppedNotice});
    // The newest entries are the ones kept, and the current one is the document.
    const size_t first = states.size() - undoEntryCount();
    EXPECT_EQ(undoPosition, static_cast<int>(undoEntryCount()) - 1);
    for (size_t i = 0; i < undoEntryCount(); ++i) EXPECT_EQ(undoEntryImage(i), states[first + i]);
    // Revert goes back to the oldest entry kept.
    revert();
    EXPECT_EQ(*findImage(viewImage), states[first]);
    // A new history may show the notice again.
    resetUndo();
    for (int i = 0; i < 12; ++i) {
        scramble(*findImage(viewImage));
        takeSnapshot(viewImage);
    }
    EXPECT_EQ(calls.notices.size(), 2u);
}

TEST(UndoBudget, FromTheEnvironmentOrAQuarterOfMemoryUpTo4GiB) {
    constexpr size_t gib = size_t{1} << 30, mib = size_t{1} << 20;
    EXPECT_EQ(undoBudgetFor("512", 8 * gib), 512 * mib);
    EXPECT_EQ(undoBudgetFor("20000", 8 * gib), 20000 * mib);  // more than memory: as asked
    for (const char* ignored : {"", "0", "-5", "+5", " 5", "5x", "abc", "1e3"}) {
        EXPECT_EQ(undoBudgetFor(ignored, 8 * gib), 2 * gib) << ignored;
    }
    EXPECT_EQ(undoBudgetFor(nullptr, 8 * gib), 2 * gib);
    EXPECT_EQ(undoBudgetFor(nullptr, 64 * gib), 4 * gib);
    EXPECT_EQ(undoBudgetFor(nullptr, 2 * gib), gib / 2);
}

}  // namespace
