// The Effects menu and "count colors" through the dispatcher.

#include "adjust/blur.h"
#include "adjust/effects.h"
#include "app/view.h"
#include "core/commands.h"
#include "core/registry.h"
#include "core/state.h"
#include "core/undo.h"
#include "support/app_fixture.h"
#include "toolkit/image_store.h"

namespace {

class EffectCommandsTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        storeImage(viewImage, randomImage(50, 30, 21));
        fitWindowToImage(viewImage);
        resetUndo();
        drainEvents();
    }
};

TEST_F(EffectCommandsTest, EachEffectChangesTheImageWithOneUndoStep) {
    for (int id = commandScramble; id <= commandArtist; ++id) {
        // A fresh colourful picture each time: Noise, for one, leaves a gray picture as it is.
        storeImage(viewImage, randomImage(50, 30, 100 + id));
        Image before = *findImage(viewImage);
        size_t entries = undoEntryCount();
        command(id);
        Image expected = before;
        applyEffect(expected, wholeImage(expected), id);
        EXPECT_EQ(*findImage(viewImage), expected) << id;
        EXPECT_NE(*findImage(viewImage), before) << id;
        EXPECT_EQ(undoEntryCount(), entries + 1) << id;
    }
}

TEST_F(EffectCommandsTest, EffectsAndBlurRefuseWhileAToolWindowIsOpen) {
    Image before = *findImage(viewImage);
    setToolWindowOpen(quantizeWindow, true);
    command(commandXFactor);
    command(commandGaussianBlur);
    EXPECT_EQ(*findImage(viewImage), before);
    EXPECT_EQ(undoEntryCount(), 1u);
    setToolWindowOpen(quantizeWindow, false);
}

TEST_F(EffectCommandsTest, ScrambleThenUnscrambleOfASelectionRestoresIt) {
    Image before = *findImage(viewImage);
    selectImageRect(Rect{3, 4, 30, 20});
    command(commandScramble);
    Image scrambled = *findImage(viewImage);
    EXPECT_NE(scrambled, before);
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 50; ++x) {
            if (x < 3 || x > 30 || y < 4 || y > 20) {
                ASSERT_EQ(scrambled.at(x, y), before.at(x, y));
            }
        }
    }
    command(commandUnscramble);
    EXPECT_EQ(*findImage(viewImage), before);
    EXPECT_EQ(undoEntryCount(), 3u);
}

TEST_F(EffectCommandsTest, BlurOfTheSelectionIsOneUndoStep) {
    Image before = *findImage(viewImage);
    selectImageRect(Rect{10, 5, 25, 15});
    command(commandGaussianBlur);
    Image expected = before;
    blurRect(expected, Rect{10, 5, 25, 15});
    EXPECT_EQ(*findImage(viewImage), expected);
    EXPECT_EQ(undoEntryCount(), 2u);
    EXPECT_EQ(selection.active, 1);
}

TEST_F(EffectCommandsTest, CountColoursShowsTheImageOrTheSelection) {
    Image two(8, 6, 24, rgb(1, 2, 3));
    two.at(7, 5) = rgb(200, 100, 50) | 0x11000000;
    two.at(6, 5) = rgb(200, 100, 50) | 0x22000000;  // same colour, other alpha
    storeImage(viewImage, two);
    fitWindowToImage(viewImage);
    command(commandCountColours);
    ASSERT_EQ(scripted.messages.size(), 1u);
    EXPECT_EQ(scripted.messages[0].title, "Unique colors");
    EXPECT_EQ(scripted.messages[0].text, "2");
    selectImageRect(Rect{0, 0, 3, 3});
    command(commandCountColours);
    EXPECT_EQ(scripted.messages[1].text, "1");
    EXPECT_FALSE(imageExists(workImage));
}

}  // namespace
