#include "core/undo.h"

#include <gtest/gtest.h>

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
    }

    // An operation: changes the document's first pixel to `value`, then snapshots.
    static void operation(uint32_t value) {
        findImage(viewImage)->at(0, 0) = value;
        takeSnapshot(viewImage);
    }
    static uint32_t viewValue() { return findImage(viewImage)->at(0, 0); }
    static uint32_t entryValue(size_t i) { return findImage(undoList[i])->at(0, 0); }
};

TEST_F(UndoTest, ResetLeavesOneEntryAndBothButtonsOff) {
    ASSERT_EQ(undoList.size(), 1u);
    EXPECT_EQ(undoPosition, 0);
    EXPECT_EQ(undoFlags, 0);
    EXPECT_FALSE(calls.undoEnabled);
    EXPECT_FALSE(calls.redoEnabled);
    // The entry is a private copy, not the document itself.
    EXPECT_NE(undoList[0], viewImage);
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
    ASSERT_EQ(undoList.size(), 3u);
    EXPECT_EQ(undoPosition, 2);
    EXPECT_EQ(entryValue(0), 0xFF000000u);
    EXPECT_EQ(entryValue(1), 1u);
    EXPECT_EQ(entryValue(2), 4u);
    EXPECT_TRUE(calls.undoEnabled);
    EXPECT_FALSE(calls.redoEnabled);
    // Every image held is one of the three entries or the document: nothing leaked.
    EXPECT_EQ(imageCount(), 4);
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
    ASSERT_EQ(undoList.size(), 1u);
    EXPECT_EQ(undoPosition, 0);
    EXPECT_EQ(undoFlags, 0);
    EXPECT_FALSE(calls.undoEnabled);
    EXPECT_FALSE(calls.redoEnabled);
    EXPECT_EQ(calls.fits, 1);
    EXPECT_EQ(imageCount(), 2);
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

TEST_F(UndoTest, FlagUpdatesKeepTheOtherBits) {
    undoFlags |= 4;
    operation(1);
    EXPECT_EQ(undoFlags, 4 | undoPossible);
    undo();
    EXPECT_EQ(undoFlags, 4 | redoPossible);
    revert();
    EXPECT_EQ(undoFlags, 4);
}

TEST_F(UndoTest, UndoAndRedoOnAnEmptyListDoNothing) {
    clearUndo();
    Image before = *findImage(viewImage);
    undo();
    redo();
    revert();
    EXPECT_EQ(*findImage(viewImage), before);
    EXPECT_TRUE(undoList.empty());
}

TEST_F(UndoTest, ResetWithoutADocumentDoesNothing) {
    operation(1);
    freeImage(viewImage);
    resetUndo();
    EXPECT_EQ(undoList.size(), 2u);
}

}  // namespace
