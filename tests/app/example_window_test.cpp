// The example window of docs/architecture.md, compiled and driven like a real one, and the
// listing in that page kept identical to the compiled file.

#include <fstream>
#include <sstream>

#include "app/view.h"
#include "core/commands.h"
#include "core/registry.h"
#include "core/undo.h"
#include "support/app_fixture.h"
#include "toolkit/image_store.h"

namespace example {
void registerSwapWindow(int command);
}

namespace {

constexpr int exampleCommand = 36;  // an identifier the program leaves unused
constexpr int exampleWindow = 20;

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class ExampleWindowTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        example::registerSwapWindow(exampleCommand);
    }
    // The control of the open window whose caption is `text`.
    static int controlCaptioned(const std::string& text) {
        for (int n = 0; n < 20000; ++n) {
            if (isControl(n) && controlWindow(n) == exampleWindow && controlText(n) == text) {
                return n;
            }
        }
        return -1;
    }
    static void click(int control) {
        Event e{.kind = eventControl,
                .window = exampleWindow,
                .object = control,
                .type = controlChange};
        postEvent(e);
        drainEvents();
    }
};

TEST_F(ExampleWindowTest, ItsButtonSwapsRedAndBlueInTheSelectionAsOneUndoStep) {
    storeImage(viewImage, Image(6, 4, 24, rgb(10, 20, 30)));
    fitWindowToImage(viewImage);
    resetUndo();
    drainEvents();
    selectImageRect(Rect{1, 1, 2, 2});

    command(exampleCommand);
    ASSERT_TRUE(isWindow(exampleWindow));
    EXPECT_EQ(windowTitle(exampleWindow), "Swap");
    int swap = controlCaptioned("Swap red and blue");
    ASSERT_GE(swap, 0);
    EXPECT_TRUE(isCanvas(canvas));  // its controls did not take the canvas's number
    // It holds the tool-window guard: Quantize stays shut while it is open.
    EXPECT_EQ(anyToolWindowOpen(), 256);
    command(commandQuantize);
    EXPECT_FALSE(isWindow(quantizeWindow));

    click(swap);
    Image* view = findImage(viewImage);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 6; ++x) {
            bool inside = x >= 1 && x <= 2 && y >= 1 && y <= 2;
            EXPECT_EQ(view->at(x, y), inside ? rgba(30, 20, 10, 255) : rgba(10, 20, 30, 255))
                << x << "," << y;
        }
    }
    EXPECT_EQ(undoEntryCount(), 2u);
    EXPECT_EQ(selection.active, 1);

    click(controlCaptioned("Close"));
    EXPECT_FALSE(isWindow(exampleWindow));
    EXPECT_EQ(anyToolWindowOpen(), 0);
}

TEST_F(ExampleWindowTest, ThePageShowsExactlyTheCompiledFile) {
    std::string page = readFile(PIXOVA_SOURCE_DIR "/docs/architecture.md");
    std::string source = readFile(PIXOVA_SOURCE_DIR "/docs/example_window.cpp");
    ASSERT_FALSE(source.empty());
    EXPECT_NE(page.find("```cpp\n" + source + "```\n"), std::string::npos);
}

}  // namespace
