// Gray Scale and Negative through the dispatcher: the operation frame every in-place
// command follows.

#include "app/view.h"
#include "canvas/selector.h"
#include "core/commands.h"
#include "core/state.h"
#include "core/undo.h"
#include "support/app_fixture.h"
#include "toolkit/image_store.h"

namespace {

class OperationsTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        storeImage(viewImage, randomImage(60, 40, 5));
        fitWindowToImage(viewImage);
        resetUndo();
        drainEvents();
    }
};

TEST_F(OperationsTest, NegativeOnTheWholeImageIsOneUndoStep) {
    Image before = *findImage(viewImage);
    command(commandNegative);
    Image* view = findImage(viewImage);
    for (size_t i = 0; i < before.pixels.size(); ++i) {
        ASSERT_EQ(view->pixels[i], before.pixels[i] ^ colourMask);
    }
    EXPECT_EQ(undoEntryCount(), 2u);
    EXPECT_TRUE(toolBarButtonEnabled(mainToolBar, commandUndo));
    EXPECT_FALSE(toolBarButtonEnabled(mainToolBar, commandRedo));
    command(commandNegative);
    EXPECT_EQ(*findImage(viewImage), before);
    EXPECT_EQ(undoEntryCount(), 3u);
    command(commandUndo);
    command(commandUndo);
    EXPECT_EQ(*findImage(viewImage), before);
    EXPECT_TRUE(toolBarButtonEnabled(mainToolBar, commandRedo));
}

TEST_F(OperationsTest, GrayScaleOfASelectionChangesOnlyTheSelection) {
    Image before = *findImage(viewImage);
    Rect r{0, 5, 59, 9};  // touches the left and right edges
    selectImageRect(r);
    ASSERT_EQ(selectionImageRect(), r);
    command(commandGrayScale);
    Image* view = findImage(viewImage);
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 60; ++x) {
            uint32_t was = before.at(x, y), now = view->at(x, y);
            ASSERT_EQ(now >> 24, was >> 24);
            if (y >= 5 && y <= 9) {
                int v = (2 * redOf(was) + 4 * greenOf(was) + blueOf(was)) / 7;
                ASSERT_EQ(now & colourMask, rgb(v, v, v));
            } else {
                ASSERT_EQ(now, was);
            }
        }
    }
    EXPECT_EQ(undoEntryCount(), 2u);
    // The selection stays and is drawn again.
    EXPECT_EQ(selection.active, 1);
}

TEST_F(OperationsTest, UndoAcrossSameSizeKeepsTheSelection) {
    selectImageRect(Rect{2, 2, 10, 10});
    command(commandNegative);
    command(commandUndo);
    EXPECT_EQ(selection.active, 1);
}

}  // namespace
