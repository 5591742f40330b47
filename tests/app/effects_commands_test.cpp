// The Effects menu and "count colors" through the dispatcher.

#include <vector>

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

// Which passes each command runs is the effects' own test; here each menu command must
// reach its own effect, on the document, as one undo step.
TEST_F(EffectCommandsTest, EachEffectChangesTheImageWithOneUndoStep) {
    const Image before = *findImage(viewImage);
    std::vector<Image> results;
    for (int id = commandScramble; id <= commandArtist; ++id) {
        command(id);
        results.push_back(*findImage(viewImage));
        EXPECT_NE(results.back(), before) << id;
        // The start and this step; the undone step before it is dropped.
        EXPECT_EQ(undoEntryCount(), 2u) << id;
        command(commandUndo);
        ASSERT_EQ(*findImage(viewImage), before) << id;
    }
    // No two commands run the same effect.
    for (size_t i = 0; i < results.size(); ++i) {
        for (size_t j = i + 1; j < results.size(); ++j) {
            EXPECT_NE(results[i], results[j]) << commandScramble + static_cast<int>(i) << " "
                                              << commandScramble + static_cast<int>(j);
        }
    }
}

TEST_F(EffectCommandsTest, EdgeDetectAndArtistOfAFlatColour) {
    // Each pixel of the anti-diagonal order takes the exclusive-or with the next one: on a
    // flat colour only the last, (0, 0), keeps it. Artist then inverts.
    const uint32_t flat = rgb(10, 20, 30);
    storeImage(viewImage, Image(4, 3, 24, flat));
    command(commandEdgeDetect);
    const Image& edges = *findImage(viewImage);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(edges.at(x, y) & colourMask, x == 0 && y == 0 ? flat : 0u) << x << "," << y;
        }
    }
    storeImage(viewImage, Image(4, 3, 24, flat));
    command(commandArtist);
    const Image& artist = *findImage(viewImage);
    EXPECT_EQ(artist.at(0, 0) & colourMask, rgb(245, 235, 225));
    EXPECT_EQ(artist.at(3, 2) & colourMask, 0xFFFFFFu);
    EXPECT_EQ(artist.at(1, 0) & colourMask, 0xFFFFFFu);
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
    // Black left of column 20, white from it on: the blur greys the edge inside the
    // selection and touches nothing outside it. The filter itself is the blur's own test.
    Image halves(50, 30, 24, 0x000000);
    for (int y = 0; y < 30; ++y) {
        for (int x = 20; x < 50; ++x) halves.at(x, y) = 0xFFFFFF | alphaMask;
    }
    storeImage(viewImage, halves);
    resetUndo();
    const Image before = *findImage(viewImage);
    const Rect rect{10, 5, 25, 15};
    selectImageRect(rect);
    command(commandGaussianBlur);
    const Image& blurred = *findImage(viewImage);
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 50; ++x) {
            if (x < rect.left || x > rect.right || y < rect.top || y > rect.bottom) {
                ASSERT_EQ(blurred.at(x, y), before.at(x, y)) << x << "," << y;
            }
        }
    }
    for (int y = rect.top; y <= rect.bottom; ++y) {
        for (int x : {19, 20}) {
            const uint32_t red = blurred.at(x, y) & 0xFF;
            EXPECT_GT(red, 0u) << x << "," << y;
            EXPECT_LT(red, 255u) << x << "," << y;
        }
    }
    EXPECT_EQ(undoEntryCount(), 2u);
    EXPECT_EQ(selection.active, 1);
    command(commandUndo);
    EXPECT_EQ(*findImage(viewImage), before);
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
