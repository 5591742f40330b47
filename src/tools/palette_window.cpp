#include "tools/palette_window.h"

#include <algorithm>

#include "core/operation.h"
#include "core/paths.h"
#include "core/registry.h"
#include "core/replace_question.h"
#include "core/undo.h"
#include "quantize/palette_map.h"
#include "quantize/palettes.h"
#include "toolkit/image_store.h"
#include "tools/palette_files.h"
#include "tools/palette_grid.h"

int paletteImageControl = -1;
std::vector<uint32_t> shownPalette;
PaletteSettings paletteSettings;

namespace {

// Below the histogram window, which sits over the top-left of the canvas.
constexpr int canvasInsetX = 2;
constexpr int canvasInsetY = 205;

constexpr const char* exportTitle = "Export palette";
constexpr const char* importTitle = "Import palette";
// Indexed by the export dialog's filter.
constexpr const char* exportExtensions[] = {".gpl", ".pal", ".act"};
constexpr int exportFilterCount = 3;

int popupMenu = -1;
int countedImage = viewImage;
// Pixel counts of the shown cells, worked out when a cell's tooltip is first wanted.
std::vector<int64_t> cellCounts;
int toolTipCell = -1;

bool openPaletteWindow() {
    const int x = controlScreenX(canvas) + canvasInsetX;
    const int y = controlScreenY(canvas) + canvasInsetY;
    if (!openWindow(paletteWindow, x, y, paletteViewWidth, paletteViewHeight, "", windowCloseBox,
                    mainWindow)) {
        return false;
    }
    paletteShown = 1;
    createImage(paletteImage, paletteViewWidth, paletteViewHeight, 24, opaqueBlack);
    createImage(paletteBackdrop, paletteViewWidth, paletteViewHeight, 24, opaqueBlack);
    drawPaletteBackdrop(*findImage(paletteBackdrop));
    activateWindow(paletteWindow);
    return true;
}

void closePaletteWindow() {
    paletteShown = 0;
    services().showAnalysisToggles();
    if (!isWindow(paletteWindow)) return;
    freeImage(paletteBackdrop);
    freeImage(paletteImage);
    closeWindow(paletteWindow);
    paletteImageControl = -1;
    toolTipCell = -1;
}

void showCellToolTip(int x, int y) {
    const PaletteGrid grid = paletteGridFor(static_cast<int64_t>(shownPalette.size()));
    const int cell = paletteCellAt(grid, x, y);
    if (cell == toolTipCell) return;
    toolTipCell = cell;
    if (cell < 0) {
        setControlToolTip(paletteImageControl, "");
        return;
    }
    const Image* counted = findImage(countedImage);
    const int64_t total = counted ? static_cast<int64_t>(counted->pixels.size()) : 0;
    if (cellCounts.size() != shownPalette.size()) cellCounts.assign(shownPalette.size(), -1);
    int64_t& count = cellCounts[cell];
    if (count < 0) count = counted ? countColour(*counted, shownPalette[cell]) : 0;
    setControlToolTip(paletteImageControl, paletteCellToolTip(shownPalette[cell], count, total));
}

void showPopupMenu(int x, int y) {
    if (!isMenu(popupMenu)) {
        popupMenu = freeMenuNumber();
        createPopupMenu(popupMenu);
        menuItem(paletteExportItem, "Export palette...");
        menuItem(paletteImportItem, "Map image onto palette file...");
        menuItem(paletteImportDitherItem, "Map image onto palette file, dithered...");
    }
    displayPopupMenu(popupMenu, paletteWindow, paletteImageControl, x, y);
}

void exportPalette() {
    std::string problem = paletteWriteProblem(shownPalette);
    const Image* counted = findImage(countedImage);
    if (shownPalette.size() > maxPaletteFileColours && counted) {
        // The grid stops collecting a little past what it can show: the count that stops
        // the export is the picture's own.
        problem = paletteCountProblem(selection.active ? "the selection" : "the image",
                                      countUniqueColours(*counted));
    }
    if (!problem.empty()) {
        dialogs().messageBox(exportTitle, "This palette cannot be exported: " + problem + ".",
                             buttonsOk);
        return;
    }
    int filter = std::clamp(paletteSettings.paletteExportFilter, 0, exportFilterCount - 1);
    std::string name = baseName.empty() ? "palette" : baseName;
    std::string chosen = dialogs().saveFile(exportTitle, folderPart(currentFilePath) + name,
                                            paletteFileFilters, filter);
    if (chosen.empty()) return;
    paletteSettings.paletteExportFilter = std::clamp(filter, 0, exportFilterCount - 1);
    // A name that already ends in a palette format keeps it; others get the filter's.
    std::string path = chosen;
    if (paletteFormatFromPath(path) == PaletteFormat::Unknown) {
        path += exportExtensions[paletteSettings.paletteExportFilter];
    }
    if (!replaceAllowed(path)) return;
    std::string error = writePaletteFile(path, shownPalette);
    if (!error.empty()) {
        dialogs().messageBox(exportTitle, "Could not save " + filePart(path) + ": " + error + ".",
                             buttonsOk);
    }
}

void importPalette(bool dither) {
    // Mapping is an edit of the document: not while a tool window or a section is open.
    if (anyToolWindowOpen() || floatingActive) return;
    int filter = 0;
    std::string path =
        dialogs().openFile(importTitle, folderPart(currentFilePath), paletteOpenFilters, filter);
    if (path.empty()) return;
    PaletteReadResult palette = readPaletteFile(path);
    if (!palette.ok()) {
        dialogs().messageBox(importTitle,
                             "Could not read " + filePart(path) + ": " + palette.error + ".",
                             buttonsOk);
        return;
    }
    OperationFrame frame{.refuseWhileToolOpen = true, .refuseWhileFloating = true};
    runOperation(frame, [&palette, dither](Image& image, const Rect& rect) {
        applyPalette(image, rect, palette.colours, dither);
        currentPalette = palette.colours;
        return true;
    });
}

}  // namespace

void showPalette(const std::vector<uint32_t>& colours, int counted) {
    if (!isWindow(paletteWindow) && !openPaletteWindow()) return;
    setWindowTitle(paletteWindow, paletteTitle(static_cast<int64_t>(colours.size())));
    const Image* backdrop = findImage(paletteBackdrop);
    if (!backdrop) return;
    storeImage(paletteImage, drawPaletteGrid(*backdrop, colours));
    if (paletteImageControl < 0 || !isControl(paletteImageControl)) {
        useControlList(paletteWindow);
        paletteImageControl = imageControl(anyControlNumber, 0, 0, paletteViewWidth,
                                           paletteViewHeight, paletteImage, false);
        setControlMouseTracking(paletteImageControl, true);
    } else {
        setImageControlImage(paletteImageControl, paletteImage);
    }
    // Copied before anything else is drawn: `colours` may be the palette an edit changes.
    shownPalette = colours;
    countedImage = counted;
    cellCounts.clear();
    toolTipCell = -1;
    setControlToolTip(paletteImageControl, "");
}

void editPaletteColour(const Event& event) {
    if (event.kind != eventControl || event.type != controlLeftButtonUp) return;
    const Image* picture = findImage(paletteImage);
    if (!picture || !picture->contains(event.x, event.y) || !imageExists(viewImage)) return;
    const uint32_t old = picture->read(event.x, event.y);
    const int64_t picked = dialogs().colourPicker(old);
    if (picked < 0) return;
    const auto chosen = static_cast<uint32_t>(picked) & colourMask;
    // The whole picture changes, shown before the question; only Yes makes it a step.
    const OperationFrame frame{
        .wholeImage = true, .snapshot = FrameSnapshot::AfterRefresh, .refresh = FrameRefresh::None};
    runOperation(frame, [old, chosen](Image& view, const Rect&) {
        // The edit remembers the pixels it changed instead of keeping a copy of the
        // document: one bit per pixel, and No puts exactly those back.
        ColourEdit edit = replaceColourMarked(view, old, chosen);
        services().refreshView(viewImage, 1);
        if (dialogs().messageBox("", keepColourQuestion, buttonsYesNo) != answerYes) {
            undoColourEdit(view, edit);
            services().refreshView(viewImage, 1);
            return false;
        }
        replaceFirstEntry(currentPalette, old, chosen);
        // The grid shows the picture's colours (of the selection, if any), as it does after
        // any other change: the current palette may describe something else altogether.
        services().refreshPalette();
        return true;
    });
}

void paletteWindowEvent(const Event& event) {
    if (event.kind == eventCloseWindow) {
        closePaletteWindow();
        return;
    }
    if (event.kind == eventMenu) {
        if (event.object == paletteExportItem) exportPalette();
        if (event.object == paletteImportItem) importPalette(false);
        if (event.object == paletteImportDitherItem) importPalette(true);
        return;
    }
    if (event.kind != eventControl || event.object != paletteImageControl) return;
    if (event.type == controlMouseMove) {
        showCellToolTip(event.x, event.y);
    } else if (event.type == controlRightButtonUp) {
        showPopupMenu(event.x, event.y);
    } else if (!anyToolWindowOpen()) {
        editPaletteColour(event);
    }
}

void registerPaletteWindow() {
    registerWindowHandler(paletteWindow, paletteWindowEvent);
}

void resetPaletteWindow() {
    paletteImageControl = -1;
    shownPalette.clear();
    paletteSettings = {};
    popupMenu = -1;
    countedImage = viewImage;
    cellCounts.clear();
    toolTipCell = -1;
}
