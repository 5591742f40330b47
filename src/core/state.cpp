#include "core/state.h"

#include "core/undo.h"
#include "toolkit/image_store.h"

SelectionRecord selection;
int cursorMode = moverMode;
int quitRequested = 0;
int histogramShown = 0;
int paletteShown = 0;
int quantizeOpen = 0;
int brightnessOpen = 0;
int twoColorsOpen = 0;
int resizeCanvasOpen = 0;
int resizeImageOpen = 0;
int newImageOpen = 0;
int addTextOpen = 0;
int floatingActive = 0;
std::string currentFilePath;
std::string baseName;
ImageMetadata documentMetadata;
int panX = 0;
int panY = 0;
int scrollX = 0;
int scrollY = 0;
int imageExceedsView = 0;

int anyToolWindowOpen() {
    return quantizeOpen | brightnessOpen | twoColorsOpen | resizeCanvasOpen | resizeImageOpen |
           newImageOpen | addTextOpen;
}

int64_t quantizePreviewEntry = 0;

int previewImage(bool forAnalysis) {
    if (quantizeOpen && imageExists(toolImage) && quantizePreviewEntry == currentEntryId()) {
        return toolImage;
    }
    if (brightnessOpen && imageExists(workImage)) return workImage;
    if (twoColorsOpen && !forAnalysis && imageExists(workImage)) return workImage;
    return viewImage;
}

Rect selectionImageRect() {
    return Rect{scrollX - panX + selection.x1 - selection.minX,
                scrollY - panY + selection.y1 - selection.minY,
                scrollX - panX + selection.x2 - selection.minX,
                scrollY - panY + selection.y2 - selection.minY};
}

Rect operationRect(const Image& image) {
    if (selection.active == 1) return selectionImageRect();
    return wholeImage(image);
}

void resetCoreState() {
    selection = SelectionRecord{};
    cursorMode = moverMode;
    quitRequested = histogramShown = paletteShown = 0;
    quantizeOpen = brightnessOpen = twoColorsOpen = resizeCanvasOpen = resizeImageOpen = 0;
    quantizePreviewEntry = 0;
    newImageOpen = addTextOpen = 0;
    floatingActive = 0;
    currentFilePath.clear();
    baseName.clear();
    documentMetadata.clear();
    panX = panY = scrollX = scrollY = imageExceedsView = 0;
}
