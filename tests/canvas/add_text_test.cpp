// Add text: the window, its settings, the rendering and the hand-over to a floating
// section, driven inside the window's own loop as the user would.

#include <QClipboard>
#include <QGuiApplication>

#include "app/view.h"
#include "canvas/add_text_window.h"
#include "canvas/floating.h"
#include "core/registry.h"
#include "core/undo.h"
#include "support/app_fixture.h"
#include "toolkit/image_store.h"

namespace {

void postCanvasKey(int key) {
    Event e{.kind = eventControl,
            .window = mainWindow,
            .object = canvas,
            .type = controlKeyDown,
            .key = key};
    postEvent(e);
}

class AddTextTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        storeImage(viewImage, Image(300, 200, 24, rgb(200, 100, 50)));
        fitWindowToImage(viewImage);
        resetUndo();
        drainEvents();
    }

    // Opens the window, runs `inside` in its loop, presses OK or Cancel, and ends a floating
    // section that OK starts with Esc (placed = false) or Return.
    void run(std::function<void()> inside, bool ok, bool placed = false) {
        whenIdle({[=] {
                      ASSERT_TRUE(isWindow(addTextWindow));
                      EXPECT_EQ(anyToolWindowOpen(), 128);
                      inside();
                      postControl(addTextWindow, ok ? addTextControls.ok : addTextControls.cancel);
                  },
                  [=] {
                      // The text floats now; the window has closed.
                      EXPECT_EQ(floatingActive, 1);
                      EXPECT_FALSE(isWindow(addTextWindow));
                      if (placed) {
                          postEvent(eventMenu, mainWindow, commandPlaceSection);
                      } else {
                          postCanvasKey(27);
                      }
                  }});
        command(commandAddText);
        setIdleHandler(nullptr);
        drainEvents();
    }

    static int glyphPixels(const Image& image, int left, int top, int right, int bottom,
                           uint32_t background) {
        int n = 0;
        for (int y = top; y <= bottom; ++y) {
            for (int x = left; x <= right; ++x) n += image.at(x, y) != background;
        }
        return n;
    }
};

TEST_F(AddTextTest, TheDefaultsGiveBlackTextOnAFivePixelWhiteBorder) {
    run([] { EXPECT_EQ(controlText(addTextControls.editor), "Enter text here."); }, true);
    EXPECT_FALSE(toolWindowOpen(addTextWindow));
    Image text = clipboardImage();  // still there after Esc
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.width, textWidth(addTextSettings.textFont, "Enter text here.") + 10);
    EXPECT_EQ(text.height, textHeight(addTextSettings.textFont, "A1g") + 10);
    const uint32_t white = rgba(255, 255, 255, 255);
    int w = text.width, h = text.height;
    EXPECT_EQ(glyphPixels(text, 0, 0, w - 1, 4, white), 0);
    EXPECT_EQ(glyphPixels(text, 0, h - 5, w - 1, h - 1, white), 0);
    EXPECT_EQ(glyphPixels(text, 0, 0, 4, h - 1, white), 0);
    EXPECT_EQ(glyphPixels(text, w - 5, 0, w - 1, h - 1, white), 0);
    int inside = glyphPixels(text, 5, 5, w - 6, h - 6, white);
    EXPECT_GT(inside, 20);
    // Glyph pixels are shades from black to white, never coloured.
    bool someBlack = false;
    for (uint32_t p : text.pixels) {
        EXPECT_EQ(redOf(p), greenOf(p));
        EXPECT_EQ(greenOf(p), blueOf(p));
        someBlack = someBlack || (p & colourMask) == 0;
    }
    EXPECT_TRUE(someBlack);
    // Discarded: the picture and its history are as they were.
    EXPECT_EQ(undoEntryCount(), 1u);
    EXPECT_EQ(findImage(viewImage)->at(150, 100), rgba(200, 100, 50, 255));
}

TEST_F(AddTextTest, TransparentLeavesOnlyTheGlyphsAndReturnPlacesThem) {
    run(
        [] {
            setControlState(addTextControls.transparent, 1);
            postControl(addTextWindow, addTextControls.transparent);
        },
        true, true);
    EXPECT_EQ(addTextSettings.textTransparent, 1);
    Image text = clipboardImage();
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.width, textWidth(addTextSettings.textFont, "Enter text here."));
    int clear = 0, opaque = 0;
    for (uint32_t p : text.pixels) {
        if (alphaOf(p) == 0) ++clear;
        if (alphaOf(p) == 255) ++opaque;
        if (alphaOf(p) != 0) {
            EXPECT_EQ(p & colourMask, 0u);  // black glyphs
        }
    }
    EXPECT_GT(clear, opaque);
    EXPECT_GT(opaque, 0);
    // Placed: one step, and only glyph pixels changed the picture.
    EXPECT_EQ(undoEntryCount(), 2u);
    const Image& view = *findImage(viewImage);
    int changed = 0;
    for (uint32_t p : view.pixels) changed += p != rgba(200, 100, 50, 255);
    EXPECT_GT(changed, 0);
    EXPECT_LT(changed, static_cast<int>(text.pixels.size()) - clear + 1);
}

TEST_F(AddTextTest, AnEmptyMiddleLineKeepsItsHeight) {
    int font = freeFontNumber();
    ASSERT_TRUE(loadFont(font, "Arial", 12, 0));
    Image text = renderTextImage("Ag\n\nAg", font, 0, 0xffffff, false);
    int line = textHeight(font, "A1g");
    ASSERT_EQ(text.height, 3 * line + 10);
    const uint32_t white = rgba(255, 255, 255, 255);
    int last = text.width - 6;
    EXPECT_GT(glyphPixels(text, 5, 5, last, 5 + line - 1, white), 0);
    EXPECT_EQ(glyphPixels(text, 5, 5 + line, last, 5 + 2 * line - 1, white), 0);
    EXPECT_GT(glyphPixels(text, 5, 5 + 2 * line, last, 5 + 3 * line - 1, white), 0);
    freeFont(font);
}

TEST_F(AddTextTest, TheFontPickerShowsStylesJoinedWithoutASpace) {
    FontChoice boldItalic;
    boldItalic.name = "Liberation Serif";
    boldItalic.size = 20;
    boldItalic.style = fontBold | fontItalic;
    boldItalic.colour = 0x0000ff;
    boldItalic.chosen = true;
    FontChoice plain = boldItalic;
    plain.style = 0;
    scripted.fontAnswers = {boldItalic, plain};
    whenIdle({[] { postControl(addTextWindow, addTextControls.fontField, controlFocus); },
              [] {
                  EXPECT_EQ(controlText(addTextControls.styleField), "BoldItalic");
                  EXPECT_EQ(controlText(addTextControls.fontField), "Liberation Serif");
                  EXPECT_EQ(controlText(addTextControls.sizeField), "20");
                  postControl(addTextWindow, addTextControls.sizeField, controlFocus);
              },
              [] {
                  EXPECT_EQ(controlText(addTextControls.styleField), "Normal");
                  postControl(addTextWindow, addTextControls.cancel);
              }});
    command(commandAddText);
    EXPECT_EQ(addTextSettings.textFontStyle, "Normal");
    EXPECT_EQ(addTextSettings.textFontSize, 20);
    EXPECT_EQ(addTextSettings.textFrontColor, 0x0000ffu);
    EXPECT_EQ(styleNameFor(fontBold | fontItalic | fontUnderline), "BoldItalicUnderline");
}

TEST_F(AddTextTest, OnlyTextConfirmedWithOkIsKept) {
    run([] { setControlText(addTextControls.editor, "typed, then cancelled"); }, false);
    EXPECT_EQ(addTextSettings.textString, "Enter text here.");
    run([] { setControlText(addTextControls.editor, "kept"); }, true);
    EXPECT_EQ(addTextSettings.textString, "kept");
    run([] { EXPECT_EQ(controlText(addTextControls.editor), "kept"); }, false);
}

TEST_F(AddTextTest, TheSwatchesChangeTheColoursAndCancelledPickersNothing) {
    scripted.colourAnswers = {0xff0000, -1};
    run(
        [] {
            postControl(addTextWindow, addTextControls.frontSwatchControl);
            postControl(addTextWindow, addTextControls.backSwatchControl);
        },
        false);
    EXPECT_EQ(addTextSettings.textFrontColor, 0xff0000u);
    EXPECT_EQ(addTextSettings.textBackColor, 0xffffffu);
    EXPECT_EQ(findImage(addTextSettings.frontSwatch)->at(12, 12) & colourMask, 0xff0000u);
}

TEST_F(AddTextTest, RefusedWhileAToolWindowIsOpen) {
    setToolWindowOpen(brightnessWindow, true);
    command(commandAddText);
    EXPECT_FALSE(isWindow(addTextWindow));
    setToolWindowOpen(brightnessWindow, false);
}

class PasteNewTest : public AppTest {};

TEST_F(PasteNewTest, SmallClipboardImagesGrowToSixteenPixels) {
    currentFilePath = "/pictures/old.png";
    command(commandNegative);
    ASSERT_TRUE(setClipboardImage(Image(10, 300, 24, rgb(40, 80, 120))));
    command(commandPasteNew);
    Image* view = findImage(viewImage);
    ASSERT_EQ(view->width, 16);
    ASSERT_EQ(view->height, 300);
    EXPECT_EQ(view->at(15, 299), rgba(40, 80, 120, 255));  // a flat image stays flat
    EXPECT_EQ(undoEntryCount(), 1u);
    EXPECT_FALSE(toolBarButtonEnabled(mainToolBar, commandUndo));
    EXPECT_EQ(statusBarText(mainStatusBar, 0), "NewImage  |  (16 x 300)");
    EXPECT_EQ(currentFilePath, "/pictures/NewImage");

    ASSERT_TRUE(setClipboardImage(Image(10, 10, 24, rgb(1, 2, 3))));
    command(commandPasteNew);
    EXPECT_EQ(findImage(viewImage)->width, 16);
    EXPECT_EQ(findImage(viewImage)->height, 16);

    Image big = randomImage(40, 30, 9, 32);
    ASSERT_TRUE(setClipboardImage(big));
    command(commandPasteNew);
    EXPECT_EQ(*findImage(viewImage), big);
}

TEST_F(PasteNewTest, AClipboardWithoutAnImageChangesNothing) {
    setClipboardImage(Image());
    QGuiApplication::clipboard()->setText("words");
    Image before = *findImage(viewImage);
    command(commandPasteNew);
    EXPECT_EQ(*findImage(viewImage), before);
}

}  // namespace
