#include "app/main_window.h"

#include <cctype>
#include <cmath>

#include "adjust/blur.h"
#include "adjust/effects.h"
#include "app/icons.h"
#include "app/preferences.h"
#include "app/recent_files.h"
#include "app/view.h"
#include "core/commands.h"
#include "core/registry.h"
#include "core/state.h"
#include "core/undo.h"
#include "toolkit/codecs/codec.h"
#include "toolkit/gui.h"
#include "toolkit/image_store.h"

const std::vector<std::string> splashLines = {"Pixova Image Editor 2.0", "by", "Quillfeather"};

const std::vector<ShortcutEntry> mainShortcuts = {
    {"Left", commandLeft},
    {"Right", commandRight},
    {"Up", commandUp},
    {"Down", commandDown},
    {"Shift+Left", commandShiftLeft},
    {"Shift+Right", commandShiftRight},
    {"Shift+Up", commandShiftUp},
    {"Shift+Down", commandShiftDown},
    {"Ctrl+Left", commandCtrlLeft},
    {"Ctrl+Right", commandCtrlRight},
    {"Ctrl+Up", commandCtrlUp},
    {"Ctrl+Down", commandCtrlDown},
    {"F1", commandHelp, true},
    {"Space", commandToggleCursorMode},
    {"Ctrl+I", commandPasteNew, true},
    {"Ctrl+C", commandCopy, true},
    {"Ctrl+V", commandPasteFloating, true},
    {"Ctrl+L", commandLoad, true},
    {"Ctrl+S", commandSave, true},
    {"Ctrl+N", commandNewImage, true},
    {"Ctrl+R", commandRevert, true},
    {"Ctrl+Q", commandQuit},
    {"Ctrl+T", commandAddText, true},
    {"Ctrl+Z", commandUndo, true},
    {"Ctrl+Y", commandRedo, true},
    {"Ctrl+X", commandCrop, true},
    {"Ctrl++", commandZoomIn, true},
    {"Ctrl+=", commandZoomIn},
    {"Ctrl+-", commandZoomOut, true},
    {"Ctrl+0", commandFitToWindow, true},
    {"Ctrl+1", commandActualPixels, true},
};

namespace {

constexpr uint32_t splashShadowColour = 0x1f2d1d;
constexpr uint32_t splashTextColour = 0xff3f;
constexpr int splashShadowOffset = 4;

struct MenuEntry {
    int id;
    const char* caption;
};

const MenuEntry rotateItems[] = {
    {commandMirror, "Mirror"},          {commandFlip, "Flip"},
    {commandRotate180, "Rotate 180"},   {commandRotateRight, "Rotate Right"},
    {commandRotateLeft, "Rotate Left"},
};

// A menu item whose caption names the command's shown key after a tab.
void shortcutItem(int id, const char* caption) {
    for (const ShortcutEntry& s : mainShortcuts) {
        if (s.command == id && s.shown) {
            menuItem(id, std::string(caption) + "\t" + s.keys);
            return;
        }
    }
    menuItem(id, caption);
}

void addItems(const MenuEntry* begin, const MenuEntry* end) {
    for (const MenuEntry* e = begin; e != end; ++e) menuItem(e->id, e->caption);
}

// The Effects menu: the blur, then the effects in their table's order. The pop-up menu
// starts every caption with a capital ("Scramble").
void effectItems(bool capitalised) {
    menuItem(commandGaussianBlur, gaussianBlurCaption);
    for (const EffectRecipe& recipe : effectRecipes()) {
        std::string caption(recipe.caption);
        if (capitalised && !caption.empty()) {
            caption[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(caption[0])));
        }
        menuItem(recipe.commandId, caption);
    }
}

void editItems() {
    shortcutItem(commandUndo, "undo");
    shortcutItem(commandRedo, "redo");
    shortcutItem(commandCopy, "copy");
    shortcutItem(commandCrop, "crop");
    openSubMenu("paste...");
    shortcutItem(commandPasteFloating, "paste floating section");
    shortcutItem(commandPasteNew, "paste new image");
    closeSubMenu();
    shortcutItem(commandAddText, "add text");
}

void zoomItems() {
    shortcutItem(commandZoomIn, "Zoom In");
    shortcutItem(commandZoomOut, "Zoom Out");
    shortcutItem(commandFitToWindow, "Fit to Window");
    shortcutItem(commandActualPixels, "Actual Pixels");
}

void recentItems() {
    openSubMenu("Open Recent");
    for (int id = commandRecentFile; id <= commandRecentFileLast; ++id) menuItem(id, "");
    menuItem(commandClearRecent, "Clear the list");
    closeSubMenu();
}

void buildMenuBar() {
    createMenuBar(mainMenuBar, mainWindow);
    menuTitle("File");
    shortcutItem(commandLoad, "Load image");
    recentItems();
    shortcutItem(commandSave, "Save image");
    shortcutItem(commandNewImage, "New image");
    shortcutItem(commandRevert, "Revert");
    menuItem(commandQuit, "Quit");
    menuTitle("Edit");
    editItems();
    menuTitle("Resize");
    menuItem(commandResizeCanvas, "resize canvas");
    menuItem(commandResizeImage, "resize image");
    menuTitle("Effects");
    effectItems(false);
    menuTitle("Colors");
    menuItem(commandQuantize, "Quantize...");
    menuItem(commandBrightness, "Bright/Contrast...");
    menuItem(commandTwoColors, "Two Colors...");
    menuItem(commandGrayScale, "Gray Scale");
    menuItem(commandNegative, "Negative");
    menuTitle("Tools");
    menuItem(commandHistogramMenu, "Histogram");
    menuItem(commandPaletteMenu, "Palette");
    menuTitle("Rotate");
    addItems(std::begin(rotateItems), std::end(rotateItems));
    menuTitle("View");
    zoomItems();
    menuItem(commandFitWindow, "Fit window to image");
    menuTitle("Help");
    shortcutItem(commandHelp, "Help");
}

void buildPopupMenu() {
    createPopupMenu(mainPopupMenu);
    openSubMenu("File...");
    shortcutItem(commandLoad, "load image");
    shortcutItem(commandSave, "save image");
    shortcutItem(commandNewImage, "new image");
    menuItem(commandRevert, "Revert");  // the pop-up's Revert does not name its key
    menuItem(commandQuit, "Quit");
    closeSubMenu();
    menuSeparator();
    openSubMenu("Edit...");
    editItems();
    closeSubMenu();
    menuSeparator();
    openSubMenu("Resize...");
    menuItem(commandResizeCanvas, "resize canvas");
    menuItem(commandResizeImage, "resize image");
    closeSubMenu();
    menuSeparator();
    openSubMenu("effects...");
    effectItems(true);
    closeSubMenu();
    menuSeparator();
    openSubMenu("colors...");
    menuItem(commandQuantize, "Quantize...");
    menuItem(commandBrightness, "Brightness...");
    menuItem(commandTwoColors, "Two Colors...");
    menuItem(commandGrayScale, "Gray Scale");
    menuItem(commandNegative, "Negative");
    closeSubMenu();
    menuSeparator();
    openSubMenu("Rotate...");
    addItems(std::begin(rotateItems), std::end(rotateItems));
    closeSubMenu();
    menuSeparator();
    openSubMenu("View...");
    zoomItems();
    closeSubMenu();
    menuSeparator();
    shortcutItem(commandHelp, "Help");
}

void decodeIcons() {
    struct Icon {
        int number;
        const unsigned char* data;
        unsigned size;
    };
    const Icon icons[] = {
        {redoIcon, redoIconPng, redoIconPngSize},
        {paletteIcon, paletteIconPng, paletteIconPngSize},
        {histogramIcon, histogramIconPng, histogramIconPngSize},
        {selectorIcon, selectorIconPng, selectorIconPngSize},
        {moverIcon, moverIconPng, moverIconPngSize},
        {undoIcon, undoIconPng, undoIconPngSize},
    };
    for (const Icon& icon : icons) {
        DecodeResult r = decodePng(icon.data, icon.size);
        if (r.ok()) storeImage(icon.number, std::move(r.image));
    }
}

void buildToolBar() {
    createToolBar(mainToolBar, mainWindow);
    struct Button {
        int id;
        int icon;  // -1: a standard icon
        StandardIcon standard;
        const char* tip;
        bool toggle;
    };
    const int separator = -100;
    const Button buttons[] = {
        {commandNewImage, -1, iconNew, "new image", false},
        {commandLoad, -1, iconOpen, "load image", false},
        {commandSave, -1, iconSave, "save image", false},
        {separator, -1, iconNew, "", false},
        {commandCrop, -1, iconCut, "crop to selection", false},
        {commandCopy, -1, iconCopy, "copy image/selection", false},
        {commandPasteFloating, -1, iconPaste, "paste floating section", false},
        {commandPasteNew, -1, iconPasteNew, "paste new image", false},
        {separator, -1, iconNew, "", false},
        {commandUndo, undoIcon, iconNew, "undo change", false},
        {commandRedo, redoIcon, iconNew, "redo change", false},
        {separator, -1, iconNew, "", false},
        {commandSelector, selectorIcon, iconNew, "selector", false},
        {commandMover, moverIcon, iconNew, "mover", false},
        {separator, -1, iconNew, "", false},
        {commandCountColours, -1, iconCount, "count colors", false},
        {commandHistogramToggle, histogramIcon, iconNew, "show histogram", true},
        {commandPaletteToggle, paletteIcon, iconNew, "show palette", true},
        {separator, -1, iconNew, "", false},
        {commandHelp, -1, iconHelp, "show help window", false},
    };
    for (const Button& b : buttons) {
        if (b.id == separator) {
            toolBarSeparator();
            continue;
        }
        if (b.icon >= 0) {
            toolBarImageButton(b.id, b.icon, b.toggle);
        } else {
            toolBarStandardButton(b.id, b.standard, b.toggle);
        }
        toolBarToolTip(mainToolBar, b.id, b.tip);
    }
    disableToolBarButton(mainToolBar, commandUndo, true);
    disableToolBarButton(mainToolBar, commandRedo, true);
}

void drawSplash(Image& image) {
    drawSplashBackground(image);
    int th = textHeight(splashFont, "Ag");
    int y = splashFirstLineTop(image.height, th);
    for (const std::string& line : splashLines) {
        int x = splashLineLeft(image.width, textWidth(splashFont, line));
        drawText(image, x + splashShadowOffset, y + splashShadowOffset, line, splashFont,
                 splashShadowColour);
        drawText(image, x, y, line, splashFont, splashTextColour);
        y += th;
    }
}

}  // namespace

void drawSplashBackground(Image& image) {
    int64_t b = 0;
    for (int y = 0; y < image.height; ++y) {
        uint32_t* row = image.row(y);
        for (int x = 0; x < image.width; ++x) {
            int64_t a = (int64_t{x} * y) | 85;
            b = (x + y) | b;
            int64_t value = (a ^ b) + ((a | b) << 8) + ((a | b) << 16) + (a << 27);
            auto v = static_cast<uint32_t>(value);
            unsigned r = v & 255, g = (v >> 8) & 255, bl = (v >> 16) & 255, al = v >> 24;
            // Blended onto opaque black.
            row[x] = rgb(static_cast<int>(r * al / 255), static_cast<int>(g * al / 255),
                         static_cast<int>(bl * al / 255)) |
                     (row[x] & alphaMask);
        }
    }
}

int splashFirstLineTop(int height, int th) {
    return static_cast<int>(std::nearbyint(height / 2 - 1.5 * th));
}

int splashLineLeft(int width, int lineWidth) {
    return (width - lineWidth) / 2;
}

int openMainWindow() {
    // The codecs are linked in; nothing to register at run time.
    minViewHeight = initialViewHeight;
    minViewWidth = initialViewWidth;
    desktopX = screenX();
    desktopY = screenY();
    desktopWidth = screenWidth();
    desktopHeight = screenHeight();
    readPreferences();
    if (!openWindow(mainWindow, desktopX + (desktopWidth - initialViewWidth) / 2,
                    desktopY + (desktopHeight - initialViewHeight) / 2, initialViewWidth,
                    initialViewHeight, mainWindowTitle,
                    windowCloseBox | windowMinimizeBox | windowMaximizeBox | windowSizeable |
                        windowInvisible)) {
        return 0;
    }
    setWindowColour(mainWindow, mainWindowColour);
    acceptFileDrops(mainWindow, true);
    createStatusBar(mainStatusBar, mainWindow);
    addStatusBarField(statusFieldFitText);
    addStatusBarField(statusFieldRemaining);
    if (loadFont(defaultFont, "Arial", 10, 0)) setDefaultFont(defaultFont);
    loadFont(splashFont, "Arial", 36, fontBold | fontItalic);
    buildMenuBar();
    showRecentFiles();
    decodeIcons();
    buildToolBar();
    toolBarHeight = toolBarHeightOf(mainToolBar);
    setWindowMinimumSize(mainWindow, initialViewWidth,
                         initialViewHeight + toolBarHeight + statusBarHeightOf(mainStatusBar));
    buildPopupMenu();
    for (const ShortcutEntry& s : mainShortcuts) addKeyboardShortcut(mainWindow, s.keys, s.command);
    measureWindowFrame();
    canvasControl(canvas, 0, toolBarHeight, initialViewWidth,
                  initialViewHeight + toolBarHeight + statusBarHeightOf(mainStatusBar));
    setCanvasCursor(canvas, cursorDefault);
    bindControlEvent(canvas, canvasHandler);
    createImage(viewImage, splashWidth, splashHeight, 32, opaqueBlack);
    drawSplash(*findImage(viewImage));
    freeFont(splashFont);
    setWindowState(mainWindow, windowState);
    showWindow(mainWindow, true);
    fitWindowToImage(viewImage);
    resetUndo();
    return 1;
}
