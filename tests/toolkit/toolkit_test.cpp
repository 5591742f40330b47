// The toolkit adapter: images and their store, drawing helpers, the event queue, controls,
// shortcuts and scripted dialogs.

#include <gtest/gtest.h>

#include <QAbstractButton>

#include "support/test_images.h"
#include "toolkit/gui.h"
#include "toolkit/image_store.h"
#include "toolkit/qt_internal.h"

namespace {

constexpr int testWindow = 40;

class ToolkitTest : public ::testing::Test {
  protected:
    void SetUp() override {
        freeAllImages();
        clearEvents();
        ASSERT_TRUE(
            openWindow(testWindow, 0, 0, 300, 200, "test", windowCloseBox | windowInvisible));
    }
    void TearDown() override {
        closeWindow(testWindow);
        clearEvents();
        freeAllImages();
    }
    // Lets Qt deliver what it has, then returns the queued events.
    static std::vector<Event> events() {
        std::vector<Event> out;
        for (Event e = windowEvent(); e.kind != eventNone; e = windowEvent()) out.push_back(e);
        return out;
    }
};

TEST(ImageStore, NumbersCopiesAndLimits) {
    freeAllImages();
    EXPECT_EQ(createImage(4, 3, 2, 24, rgb(1, 2, 3)), 4);
    EXPECT_EQ(findImage(4)->at(2, 1), rgb(1, 2, 3) | alphaMask);  // 24-bit stores opaque alpha
    int a = createImage(anyImageNumber, 1, 1, 32, 0);
    int b = createImage(anyImageNumber, 1, 1, 32, 0);
    EXPECT_GE(a, 1000);
    EXPECT_NE(a, b);
    freeImage(a);
    EXPECT_EQ(createImage(anyImageNumber, 1, 1, 32, 0), a);  // freed numbers come back
    EXPECT_EQ(copyImage(4, 6), 6);
    findImage(6)->at(0, 0) = 0;
    EXPECT_NE(findImage(4)->at(0, 0), 0u);  // a copy, not a share
    EXPECT_EQ(copyImage(99, 7), 0);
    EXPECT_FALSE(imageExists(7));
    EXPECT_EQ(createImage(8, 16385, 16384, 24, 0), 0);
    EXPECT_EQ(createImage(8, 0, 5, 24, 0), 0);
    EXPECT_FALSE(imageExists(8));
    freeAllImages();
    EXPECT_EQ(imageCount(), 0);
}

TEST(Drawing, XorOutlineAndBoxTouchExactlyTheirPixels) {
    Image image(6, 5, 24, 0);
    xorBox(image, 1, 1, 4, 3, 0x888888, false);
    const char* expected[] = {"......", ".####.", ".#..#.", ".####.", "......"};
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 6; ++x) {
            uint32_t want = expected[y][x] == '#' ? 0x888888 : 0;
            ASSERT_EQ(image.at(x, y) & colourMask, want) << x << "," << y;
            ASSERT_EQ(image.at(x, y) >> 24, 0xFFu);
        }
    }
    // A negative width and height cover x + w .. x - 1: the same box drawn again erases it.
    xorBox(image, 5, 4, -4, -3, 0x888888, false);
    for (uint32_t p : image.pixels) ASSERT_EQ(p & colourMask, 0u);
    xorBox(image, -2, -2, 4, 4, 0x0000FF, true);  // clipped to the image
    EXPECT_EQ(image.at(0, 0) & colourMask, 0xFFu);
    EXPECT_EQ(image.at(1, 1) & colourMask, 0xFFu);
    EXPECT_EQ(image.at(2, 2) & colourMask, 0u);
}

TEST(Drawing, BlendFollowsAlpha) {
    Image target(3, 1, 24, rgb(100, 100, 100));
    Image source =
        imageFromRows(3, 1, {rgba(200, 0, 50, 0), rgba(200, 0, 50, 255), rgba(200, 0, 50, 128)});
    drawImageBlended(target, source, 0, 0);
    EXPECT_EQ(target.read(0, 0), rgb(100, 100, 100));
    EXPECT_EQ(target.read(1, 0), rgb(200, 0, 50));
    // (200 * 128 + 100 * 127 + 127) / 255 = 150; (0 + 12700 + 127) / 255 = 50.
    EXPECT_EQ(target.read(2, 0), rgb(150, 50, 75));
    EXPECT_EQ(target.at(2, 0) >> 24, 0xFFu);
}

TEST(Drawing, CopyAndDrawAreClipped) {
    Image image = randomImage(5, 4, 1);
    Image part = copyRect(image, 3, 2, 9, 9);
    ASSERT_EQ(part.width, 2);
    ASSERT_EQ(part.height, 2);
    EXPECT_EQ(part.at(1, 1), image.at(4, 3));
    EXPECT_TRUE(copyRect(image, 6, 0, 8, 1).empty());
    Image target(3, 3, 32, 0);
    drawImage(target, image, -4, -3);  // only image (4, 3) lands, at (0, 0)
    EXPECT_EQ(target.at(0, 0), image.at(4, 3));
    EXPECT_EQ(target.at(1, 0), 0u);
}

void recordingCallback(const Event& e);
std::vector<std::string> trace;
void recordingCallback(const Event& e) {
    trace.push_back("callback " + std::to_string(e.type));
}

TEST_F(ToolkitTest, QueueIsFirstInFirstOutAndPollReturnsNone) {
    EXPECT_EQ(windowEvent().kind, eventNone);
    postEvent(eventMenu, 0, 5);
    postEvent(firstProgramEvent + 1, 2, 3, 99);
    Event a = waitWindowEvent();
    Event b = waitWindowEvent();
    EXPECT_EQ(a.kind, eventMenu);
    EXPECT_EQ(a.object, 5);
    EXPECT_EQ(b.kind, firstProgramEvent + 1);
    EXPECT_EQ(b.window, 2);
    EXPECT_EQ(b.type, 99);
    int64_t t0 = elapsedMilliseconds();
    delay(20);
    EXPECT_GE(elapsedMilliseconds() - t0, 20);
}

int64_t fakeNow = 0;

TEST_F(ToolkitTest, TheIdleHandlerActsWhenAWaitFindsNothingQueued) {
    int calls = 0;
    setIdleHandler([&] {
        ++calls;
        postEvent(eventMenu, 0, 100 + calls);
    });
    postEvent(eventMenu, 0, 7);
    EXPECT_EQ(waitWindowEvent().object, 7);  // something was queued: no call
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(waitWindowEvent().object, 101);
    EXPECT_EQ(waitWindowEvent().object, 102);
    setIdleHandler(nullptr);
    EXPECT_EQ(calls, 2);
}

TEST_F(ToolkitTest, AReplacedClockAnswersAndSleepsInstead) {
    fakeNow = 1000;
    setClock([] { return fakeNow; }, [](int ms) { fakeNow += ms; });
    EXPECT_EQ(elapsedMilliseconds(), 1000);
    delay(250);
    EXPECT_EQ(elapsedMilliseconds(), 1250);
    setClock(nullptr, nullptr);
    int64_t real = elapsedMilliseconds();
    delay(5);
    EXPECT_GE(elapsedMilliseconds(), real + 5);
    EXPECT_EQ(fakeNow, 1250);
}

TEST_F(ToolkitTest, CallbacksRunBeforeTheEventIsQueued) {
    int c = canvasControl(anyControlNumber, 0, 0, 50, 40);
    ASSERT_GE(c, 0);
    trace.clear();
    bindControlEvent(c, recordingCallback);
    bindControlEvent(c, recordingCallback);  // bound once only
    Event e{.kind = eventControl, .window = testWindow, .object = c, .type = controlLeftButtonDown};
    deliverControlEvent(e);
    EXPECT_EQ(trace, std::vector<std::string>{"callback 1"});
    std::vector<Event> queued = events();
    ASSERT_EQ(queued.size(), 1u);
    EXPECT_EQ(queued[0].object, c);
    unbindControlEvent(c, recordingCallback);
    deliverControlEvent(e);
    EXPECT_EQ(trace.size(), 1u);
}

TEST_F(ToolkitTest, CanvasBufferFollowsItsSize) {
    int c = canvasControl(anyControlNumber, 0, 0, 50, 40);
    EXPECT_EQ(canvasBuffer(c)->width, 50);
    resizeControl(c, 0, 10, 70, 30);
    EXPECT_EQ(canvasBuffer(c)->width, 70);
    EXPECT_EQ(canvasBuffer(c)->height, 30);
    setCanvasCursor(c, cursorHand);
    EXPECT_EQ(canvasCursor(c), cursorHand);
    setCanvasImage(c, 4);
    EXPECT_EQ(canvasImage(c), 4);
    EXPECT_EQ(canvasBuffer(12345), nullptr);
}

TEST_F(ToolkitTest, SpinTextIsTheProgramsAndItsValueStaysInRange) {
    int s = spinControl(anyControlNumber, 0, 0, 60, 25, 2, 16);
    setControlState(s, 3);
    setControlText(s, "27");  // a text unlike the value, as LIMIT shows levels cubed
    EXPECT_EQ(controlState(s), 3);
    EXPECT_EQ(controlText(s), "27");
    setControlState(s, 40);
    EXPECT_EQ(controlState(s), 16);
    setControlAttribute(s, attributeMaximum, 256);
    setControlState(s, 40);
    EXPECT_EQ(controlState(s), 40);
}

TEST_F(ToolkitTest, ListsCheckBoxesOptionsAndTrackBars) {
    int list = comboBoxControl(anyControlNumber, 0, 0, 100, 25);
    addControlItem(list, "Uniform");
    addControlItem(list, "Popularity");
    setControlItemData(list, 1, 32);
    setControlState(list, 1);
    EXPECT_EQ(controlState(list), 1);
    EXPECT_EQ(controlText(list), "Popularity");
    EXPECT_EQ(controlItemData(list, 1), 32);
    EXPECT_EQ(controlItemData(list, 7), 0);

    int a = optionControl(anyControlNumber, 0, 30, 60, 20, "a");
    int b = optionControl(anyControlNumber, 60, 30, 60, 20, "b");
    int box = checkBoxControl(anyControlNumber, 0, 60, 60, 20, "Dither");
    int c = optionControl(anyControlNumber, 0, 90, 60, 20, "c");  // a new group
    setControlState(a, 1);
    setControlState(c, 1);
    setControlState(b, 1);
    EXPECT_EQ(controlState(a), 0);  // same group as b
    EXPECT_EQ(controlState(c), 1);  // its own group
    setControlState(box, 1);
    EXPECT_EQ(controlState(box), 1);

    int track = trackBarControl(anyControlNumber, 0, 120, 200, 30, 0, 256);
    events();
    setControlState(track, 128);
    EXPECT_EQ(controlState(track), 128);
    EXPECT_TRUE(events().empty());  // only the user's moves are events

    disableControl(box, true);
    EXPECT_FALSE(controlEnabled(box));
    freeControl(box);
    EXPECT_FALSE(isControl(box));
}

TEST_F(ToolkitTest, ButtonClickIsAControlEvent) {
    int button = buttonControl(anyControlNumber, 0, 0, 60, 25, "OK");
    events();
    dynamic_cast<QAbstractButton*>(controlRecord(button)->widget)->click();
    std::vector<Event> queued = events();
    ASSERT_EQ(queued.size(), 1u);
    EXPECT_EQ(queued[0].kind, eventControl);
    EXPECT_EQ(queued[0].window, testWindow);
    EXPECT_EQ(queued[0].object, button);
    EXPECT_EQ(queued[0].type, controlChange);
}

TEST_F(ToolkitTest, ShortcutsAreAddedAndRemovedAtRunTime) {
    addKeyboardShortcut(testWindow, "Return", 16);
    ASSERT_TRUE(hasKeyboardShortcut(testWindow, "Return"));
    emit windowRecord(testWindow)->shortcuts["Return"]->activated();
    std::vector<Event> queued = events();
    ASSERT_EQ(queued.size(), 1u);
    EXPECT_EQ(queued[0].kind, eventMenu);
    EXPECT_EQ(queued[0].object, 16);
    removeKeyboardShortcut(testWindow, "Return");
    EXPECT_FALSE(hasKeyboardShortcut(testWindow, "Return"));
}

TEST_F(ToolkitTest, ClosingAWindowFreesItsControls) {
    int c = buttonControl(anyControlNumber, 0, 0, 10, 10, "x");
    closeWindow(testWindow);
    EXPECT_FALSE(isWindow(testWindow));
    EXPECT_FALSE(isControl(c));
    ASSERT_TRUE(openWindow(testWindow, 0, 0, 300, 200, "again", windowInvisible));
}

TEST_F(ToolkitTest, CloseBoxIsAnEventNotAClose) {
    showWindow(testWindow, true);
    events();
    windowRecord(testWindow)->content->window()->close();
    std::vector<Event> queued = events();
    EXPECT_TRUE(isWindow(testWindow));
    bool closeSeen = false;
    for (const Event& e : queued) closeSeen |= e.kind == eventCloseWindow && e.window == testWindow;
    EXPECT_TRUE(closeSeen);
}

TEST(ScriptedDialogsTest, AnswersInOrderThenSafeDefaults) {
    ScriptedDialogs d;
    d.messageAnswers = {answerYes};
    EXPECT_EQ(d.messageBox("t", "x", buttonsYesNo), answerYes);
    EXPECT_EQ(d.messageBox("t", "x", buttonsYesNo), answerNo);
    EXPECT_EQ(d.messageBox("t", "x", buttonsOk), answerOk);
    EXPECT_EQ(d.messages.size(), 3u);
    int index = 1;
    d.fileAnswers = {{"/tmp/a.png", 0}};
    EXPECT_EQ(d.saveFile("Save", "/tmp/a", "f", index), "/tmp/a.png");
    EXPECT_EQ(index, 0);
    EXPECT_EQ(d.openFile("Open", "/tmp/", "f", index), "");  // cancelled
    EXPECT_EQ(index, 0);
    EXPECT_EQ(d.colourPicker(0), -1);
}

}  // namespace
