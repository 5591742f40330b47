#include "canvas/add_text_window.h"

#include <algorithm>
#include <vector>

#include "canvas/floating.h"
#include "canvas/nested_loop.h"
#include "canvas/selector.h"
#include "core/commands.h"
#include "core/registry.h"
#include "core/state.h"
#include "toolkit/gui.h"
#include "toolkit/image_store.h"

AddTextSettings addTextSettings;
AddTextControls addTextControls;

namespace {

constexpr int dialogWidth = 280;
constexpr int dialogHeight = 310;
constexpr uint32_t windowColour = 0xdabfa5;
constexpr int swatchSide = 25;
constexpr int borderMargin = 5;
constexpr const char* clickToChange = "click to change";
constexpr const char* measureText = "A1g";  // a line's height: capitals, digits, descenders

enum ExitCode { stillOpen = 0, cancelled = 1, confirmed = 2 };

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return lines;
}

void loadTextFont() {
    AddTextSettings& s = addTextSettings;
    if (s.textFont < 0) s.textFont = freeFontNumber();
    freeFont(s.textFont);
    loadFont(s.textFont, s.textFontName, s.textFontSize, s.textFontFlags);
}

void fillSwatch(int image, uint32_t colour) {
    createImage(image, swatchSide, swatchSide, 24, colour);
}

void firstUse() {
    AddTextSettings& s = addTextSettings;
    if (s.textFont >= 0) return;
    s.styleTable = {{"Bold", fontBold},
                    {"High Quality", 0},
                    {"Italic", fontItalic},
                    {"Strike Out", 0},
                    {"Underline", fontUnderline}};
    loadTextFont();
    s.frontSwatch = createImage(anyImageNumber, swatchSide, swatchSide, 24, s.textFrontColor);
    s.backSwatch = createImage(anyImageNumber, swatchSide, swatchSide, 24, s.textBackColor);
}

void label(int x, int y, int w, const char* text) {
    int n = textControl(anyControlNumber, x, y, w, 25, text);
    setControlColour(n, windowColour);
}

void buildWindow() {
    const AddTextSettings& s = addTextSettings;
    AddTextControls& c = addTextControls;
    c.cancel = buttonControl(anyControlNumber, 10, 275, 60, 30, "Cancel");
    c.ok = buttonControl(anyControlNumber, 210, 275, 60, 30, "OK");
    c.transparent = checkBoxControl(anyControlNumber, 10, 135, 260, 30, "Background transparent");
    setControlState(c.transparent, s.textTransparent);
    c.editor = editorControl(anyControlNumber, 10, 170, 260, 100, false);
    setControlFont(c.editor, s.textFont);
    setControlTextColour(c.editor, s.textFrontColor);
    setControlColour(c.editor, s.textBackColor);
    setControlText(c.editor, s.textString);
    label(10, 5, 120, "Font name");
    c.fontField = focusFieldControl(anyControlNumber, 10, 30, 170, 25, s.textFontName);
    setControlToolTip(c.fontField, clickToChange);
    label(190, 5, 60, "Size");
    c.sizeField =
        focusFieldControl(anyControlNumber, 190, 30, 40, 25, std::to_string(s.textFontSize));
    setControlToolTip(c.sizeField, clickToChange);
    label(10, 70, 60, "Style");
    c.styleField = focusFieldControl(anyControlNumber, 10, 95, 170, 25, s.textFontStyle);
    setControlToolTip(c.styleField, clickToChange);
    frameControl(anyControlNumber, 185, 65, 85, 60, "colors");
    c.frontSwatchControl =
        imageControl(anyControlNumber, 195, 85, swatchSide, swatchSide, s.frontSwatch, true);
    setControlToolTip(c.frontSwatchControl, "front color");
    c.backSwatchControl =
        imageControl(anyControlNumber, 230, 85, swatchSide, swatchSide, s.backSwatch, true);
    setControlToolTip(c.backSwatchControl, "back color");
    setActiveControl(c.editor);
}

void chooseFont() {
    AddTextSettings& s = addTextSettings;
    const AddTextControls& c = addTextControls;
    FontChoice start;
    start.name = s.textFontName;
    start.size = s.textFontSize;
    start.style = s.textFontFlags;
    start.colour = s.textFrontColor;
    FontChoice chosen = dialogs().fontPicker(start);
    if (chosen.chosen) {
        s.textFontName = chosen.name;
        setControlText(c.fontField, s.textFontName);
        s.textFrontColor = chosen.colour & colourMask;
        fillSwatch(s.frontSwatch, s.textFrontColor);
        setImageControlImage(c.frontSwatchControl, s.frontSwatch);
        setControlTextColour(c.editor, s.textFrontColor);
        s.textFontSize = chosen.size;
        setControlText(c.sizeField, std::to_string(s.textFontSize));
        s.textFontFlags = chosen.style;
        s.textFontStyle = styleNameFor(s.textFontFlags);
        setControlText(c.styleField, s.textFontStyle);
        loadTextFont();
    }
    // The picker moved the focus about: those events must not open it again.
    while (windowEvent().kind != eventNone) {
    }
    setActiveControl(c.editor);
    setControlFont(c.editor, s.textFont);
}

// The front (true) or back colour from the colour picker.
void chooseColour(bool front) {
    AddTextSettings& s = addTextSettings;
    const AddTextControls& c = addTextControls;
    uint32_t& colour = front ? s.textFrontColor : s.textBackColor;
    int64_t chosen = dialogs().colourPicker(colour);
    if (chosen < 0) return;
    colour = static_cast<uint32_t>(chosen) & colourMask;
    int swatch = front ? s.frontSwatch : s.backSwatch;
    fillSwatch(swatch, colour);
    setImageControlImage(front ? c.frontSwatchControl : c.backSwatchControl, swatch);
    if (front) {
        setControlTextColour(c.editor, colour);
    } else {
        setControlColour(c.editor, colour);
    }
}

ExitCode handle(const Event& e) {
    AddTextSettings& s = addTextSettings;
    const AddTextControls& c = addTextControls;
    if (e.kind == eventCloseWindow && e.window == mainWindow) {
        quitRequested = 1;
        return cancelled;
    }
    if (e.window != addTextWindow) return stillOpen;
    if (e.kind == eventCloseWindow) return cancelled;
    if (e.kind != eventControl) return stillOpen;
    if (e.object == c.transparent) {
        s.textTransparent = controlState(c.transparent);
    } else if ((e.object == c.fontField || e.object == c.sizeField || e.object == c.styleField) &&
               e.type == controlFocus) {
        chooseFont();
    } else if (e.object == c.frontSwatchControl && e.type == controlChange) {
        chooseColour(true);
    } else if (e.object == c.backSwatchControl && e.type == controlChange) {
        chooseColour(false);
    } else if (e.object == c.cancel) {
        return cancelled;
    } else if (e.object == c.ok) {
        s.textString = controlText(c.editor);
        Image rendered = renderTextImage(s.textString, s.textFont, s.textFrontColor,
                                         s.textBackColor, s.textTransparent);
        setClipboardImage(rendered);
        return confirmed;
    }
    return stillOpen;
}

}  // namespace

std::string styleNameFor(int flags) {
    if (flags == 0) return "Normal";
    std::string name;
    for (const auto& [key, flag] : addTextSettings.styleTable) {
        if (flag & flags) name += key;
    }
    return name;
}

Image renderTextImage(const std::string& text, int font, uint32_t front, uint32_t back,
                      bool transparent) {
    std::vector<std::string> lines = splitLines(text);
    int margin = transparent ? 0 : borderMargin;
    uint32_t alpha = transparent ? alphaMask : 0;
    int height = textHeight(font, measureText) * static_cast<int>(lines.size());
    int width = textWidth(font, " ");
    for (const std::string& line : lines) width = std::max(width, textWidth(font, line));
    width += 2 * margin;
    height += 2 * margin;
    Image image = transparent ? Image(width, height, 32, 0) : Image(width, height, 24, back);
    int y = margin;
    for (const std::string& line : lines) {
        const std::string& shown = line.empty() ? std::string(" ") : line;
        drawText(image, margin, y, shown, font, (front & colourMask) | alpha);
        y += textHeight(font, shown);
    }
    return image;
}

void addTextDialog() {
    if (anyToolWindowOpen()) return;
    firstUse();
    if (selection.active) {
        clearSelection();
        services().refreshView(viewImage, 1);
    }
    if (!openWindow(addTextWindow, 0, 0, dialogWidth, dialogHeight, addTextTitle,
                    windowCloseBox | windowParentCentered | windowModal, mainWindow)) {
        return;
    }
    setWindowColour(addTextWindow, windowColour);
    setToolWindowOpen(addTextWindow, true);
    buildWindow();
    ExitCode exit = stillOpen;
    {
        NestedLoop loop;
        while (exit == stillOpen) exit = handle(loop.next());
    }
    closeWindow(addTextWindow);
    addTextControls = AddTextControls{};
    setToolWindowOpen(addTextWindow, false);
    // The keys that move, place or drop the text go to the main window.
    activateWindow(mainWindow);
    if (exit == confirmed) pasteFloatingSection();
}

void registerAddTextWindow() {
    registerCommand(commandAddText, [](int) { addTextDialog(); });
    registerToolWindow(addTextWindow, addTextOpenFlag);
}

void resetAddText() {
    addTextSettings = {};
    addTextControls = AddTextControls{};
}
