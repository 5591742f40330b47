#include "app/new_image_window.h"

#include <algorithm>
#include <charconv>
#include <string>

#include "app/files.h"
#include "app/view.h"
#include "canvas/geometry.h"
#include "canvas/nested_loop.h"
#include "core/commands.h"
#include "core/registry.h"
#include "core/state.h"
#include "toolkit/gui.h"
#include "toolkit/image_store.h"

NewImageSettings newImageSettings;
NewImageControls newImageControls;

namespace {

constexpr int dialogWidth = 240;
constexpr int dialogHeight = 130;
constexpr uint32_t dialogColour = 0xdabfa5;
constexpr int swatchWidth = 90;
constexpr int swatchHeight = 45;
constexpr int returnShortcutEvent = 1;  // the Return key's menu event in this window
constexpr const char* returnKey = "Return";

// The numeric value of a field's text; anything that is not a number gives 0.
int numericValue(const std::string& text) {
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return 0;
    return value;
}

NewImageControls buildDialog() {
    const NewImageSettings& s = newImageSettings;
    NewImageControls c;
    c.widthField =
        stringControl(anyControlNumber, 10, 10, 60, 25, std::to_string(s.newWidth), true);
    c.heightField =
        stringControl(anyControlNumber, 10, 40, 60, 25, std::to_string(s.newHeight), true);
    const struct {
        int x, y, w;
        const char* text;
    } labels[] = {{75, 15, 50, "width"}, {75, 40, 50, "Height"}, {135, 15, 95, "Back color"}};
    for (const auto& l : labels) {
        int label = textControl(anyControlNumber, l.x, l.y, l.w, 25, l.text);
        setControlColour(label, dialogColour);
    }
    c.swatchImage = createImage(anyImageNumber, swatchWidth, swatchHeight, 24, s.newBackColor);
    c.swatch =
        imageControl(anyControlNumber, 135, 45, swatchWidth, swatchHeight, c.swatchImage, true);
    c.ok = buttonControl(anyControlNumber, 155, 100, 60, 25, "OK");
    c.cancel = buttonControl(anyControlNumber, 10, 100, 60, 25, "Cancel");
    return c;
}

void clickOk(const NewImageControls& c) {
    Event click{
        .kind = eventControl, .window = newImageWindow, .object = c.ok, .type = controlChange};
    postEvent(click);
}

void chooseColour(const NewImageControls& c) {
    uint32_t& colour = newImageSettings.newBackColor;
    int64_t chosen = dialogs().colourPicker(colour);
    if (chosen < 0) return;
    colour = static_cast<uint32_t>(chosen) & colourMask;
    createImage(c.swatchImage, swatchWidth, swatchHeight, 24, colour);
    setImageControlImage(c.swatch, c.swatchImage);
}

}  // namespace

void startNewDocument(int w, int h, uint32_t colour) {
    beginUnsavedDocument(Image(w, h, 24, colour));
}

void newImageDialog() {
    if (anyToolWindowOpen()) return;
    if (!openWindow(newImageWindow, 0, 0, dialogWidth, dialogHeight, newImageTitle,
                    windowCloseBox | windowParentCentered | windowModal, mainWindow)) {
        return;
    }
    setWindowColour(newImageWindow, dialogColour);
    setToolWindowOpen(newImageWindow, true);
    newImageControls = buildDialog();
    const NewImageControls& c = newImageControls;
    NewImageSettings& s = newImageSettings;
    addKeyboardShortcut(newImageWindow, returnKey, returnShortcutEvent);
    NestedLoop loop;
    for (bool done = false; !done;) {
        Event e = loop.next();
        if (e.kind == eventCloseWindow && e.window == mainWindow) {
            quitRequested = 1;
            break;
        }
        if (e.window != newImageWindow) continue;
        if (e.kind == eventCloseWindow) break;
        if (e.kind == eventMenu && e.object == returnShortcutEvent) {
            clickOk(c);
            continue;
        }
        if (e.kind != eventControl) continue;
        if (e.object == c.swatch) {
            chooseColour(c);
        } else if (e.object == c.widthField) {
            s.newWidth = numericValue(controlText(c.widthField));
        } else if (e.object == c.heightField) {
            s.newHeight = numericValue(controlText(c.heightField));
        } else if (e.object == c.cancel) {
            done = true;
        } else if (e.object == c.ok) {
            s.newWidth = std::clamp(s.newWidth, smallestSide, largestSide);
            s.newHeight = std::clamp(s.newHeight, smallestSide, largestSide);
            startNewDocument(s.newWidth, s.newHeight, s.newBackColor);
            done = true;
        }
    }
    removeKeyboardShortcut(newImageWindow, returnKey);
    setToolWindowOpen(newImageWindow, false);
    closeWindow(newImageWindow);
    freeImage(c.swatchImage);
    newImageControls = NewImageControls{};
}

void registerNewImageDialog() {
    registerCommand(commandNewImage, [](int) { newImageDialog(); });
    registerToolWindow(newImageWindow, newImageOpenFlag);
}

void resetNewImageDialog() {
    newImageSettings = {};
    newImageControls = NewImageControls{};
}
