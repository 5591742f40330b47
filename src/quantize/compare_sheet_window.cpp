#include "quantize/compare_sheet_window.h"

#include <array>
#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

#include "core/registry.h"
#include "core/state.h"
#include "quantize/quantize.h"
#include "quantize/quantize_window.h"
#include "quantize/styles.h"
#include "toolkit/image_store.h"

namespace {

constexpr int margin = 10;
constexpr int cellWidth = compareThumbWidth + 24;  // the label is wider than the picture
constexpr int labelHeight = 50;
constexpr int cellHeight = compareThumbHeight + labelHeight + 8;
constexpr int columns = 4;
constexpr int rows = (styleCount + columns - 1) / columns;
constexpr int progressHeight = 12;
constexpr int sheetWidth = 2 * margin + columns * cellWidth;
constexpr int sheetHeight = 2 * margin + rows * cellHeight + progressHeight + 24;
constexpr int pollTimer = 1;
constexpr int pollMilliseconds = 30;
constexpr uint32_t progressDone = 0xFF3C9A3C;
constexpr uint32_t progressToGo = 0xFFD0D0D0;

struct Finished {
    StyleComparison row;
    Image result;
};

// The thread and what it has finished, shared with the window under the mutex.
struct Work {
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::vector<Finished> finished;
    std::thread thread;
    ~Work() {
        stop = true;
        if (thread.joinable()) thread.join();
    }
};

struct Sheet {
    std::unique_ptr<Work> work;
    Image source;
    std::vector<StyleComparison> shown;
    std::array<int, styleCount> thumbnails{};
    std::array<int, styleCount> labels{};
    std::array<int, styleCount> images{};
    int progress = -1;
    int progressImage = 0;
    int progressText = -1;
};
Sheet sheet;

void resetControls() {
    sheet.thumbnails.fill(-1);
    sheet.labels.fill(-1);
    sheet.images.fill(0);
    sheet.progress = sheet.progressText = -1;
    sheet.progressImage = 0;
}

// The area of the document the canvas shows.
Rect visibleArea(const Image& view) {
    const ViewTransform t = currentView();
    return clipToImage(t.imageRect(t.extent()), view);
}

void showProgress() {
    const int done = static_cast<int>(sheet.shown.size());
    if (Image* bar = findImage(sheet.progressImage)) {
        fillBox(*bar, 0, 0, bar->width, bar->height, progressToGo);
        fillBox(*bar, 0, 0, bar->width * done / styleCount, bar->height, progressDone);
        setImageControlImage(sheet.progress, sheet.progressImage);
    }
    setControlText(sheet.progressText,
                   done == styleCount
                       ? "All " + std::to_string(styleCount) + " styles"
                       : std::to_string(done) + " of " + std::to_string(styleCount) + " styles...");
}

// Shows what the thread has finished since the last look.
void takeFinished() {
    if (!sheet.work) return;
    std::vector<Finished> fresh;
    {
        std::lock_guard<std::mutex> lock(sheet.work->mutex);
        fresh.swap(sheet.work->finished);
    }
    for (Finished& f : fresh) {
        const int s = f.row.style;
        sheet.images[s] =
            storeImage(sheet.images[s] ? sheet.images[s] : anyImageNumber, std::move(f.result));
        setImageControlImage(sheet.thumbnails[s], sheet.images[s]);
        setControlText(sheet.labels[s], compareLabelText(f.row));
        sheet.shown.push_back(f.row);
    }
    if (!fresh.empty()) showProgress();
    if (!compareSheetComplete()) startWindowTimer(compareSheetWindow, pollTimer, pollMilliseconds);
}

// The styles one after another on the thread; `stop` ends it between two of them.
void startWork(const std::array<int, styleCount>& limits, bool dither) {
    sheet.work = std::make_unique<Work>();
    Work* work = sheet.work.get();
    // A copy of its own: the thread never reads what the window may free.
    work->thread = std::thread([work, source = sheet.source, limits, dither] {
        for (int s = 0; s < styleCount && !work->stop; ++s) {
            Finished f;
            f.row = compareStyle(source, wholeImage(source), s, limits[s], dither, &f.result);
            std::lock_guard<std::mutex> lock(work->mutex);
            work->finished.push_back(std::move(f));
        }
    });
}

void buildControls() {
    for (int s = 0; s < styleCount; ++s) {
        const int x = margin + (s % columns) * cellWidth;
        const int y = margin + (s / columns) * cellHeight;
        sheet.thumbnails[s] =
            imageControl(anyControlNumber, x, y, compareThumbWidth, compareThumbHeight, -1, true);
        setControlToolTip(sheet.thumbnails[s], std::string("Choose ") + styleInfo(s).caption);
        sheet.labels[s] = textControl(anyControlNumber, x, y + compareThumbHeight + 2,
                                      cellWidth - 4, labelHeight, styleInfo(s).caption);
    }
    const int y = margin + rows * cellHeight;
    const int width = sheetWidth - 2 * margin;
    sheet.progressImage = createImage(anyImageNumber, width, progressHeight, 24, progressToGo);
    sheet.progress = imageControl(anyControlNumber, margin, y, width, progressHeight,
                                  sheet.progressImage, false);
    sheet.progressText =
        textControl(anyControlNumber, margin, y + progressHeight + 2, width, 20, "");
}

void chooseStyle(int style) {
    const QuantizeControls& c = quantizeControls;
    if (!isWindow(quantizeWindow) || c.styleList < 0) return;
    // As if chosen in the STYLE list.
    setControlState(c.styleList, style);
    postEvent(eventControl, quantizeWindow, c.styleList, controlChange);
}

}  // namespace

std::string compareLabelText(const StyleComparison& row) {
    char figures[160];
    std::snprintf(figures, sizeof figures, "%lld colors, PSNR %.2f dB\nmean dE %.3f, PNG %lld B%s",
                  static_cast<long long>(row.colours), row.psnr, row.meanDeltaE,
                  static_cast<long long>(row.pngBytes), row.indexed ? "" : "*");
    return std::string(styleInfo(row.style).caption) + "\n" + figures;
}

void openCompareSheet() {
    closeCompareSheet();
    const Image* view = findImage(viewImage);
    if (!view || !toolWindowOpen(quantizeWindow)) return;
    const Rect area = visibleArea(*view);
    if (area.empty()) return;
    // Beside the Quantize window, so that a choice made here shows there.
    const int x = windowX(quantizeWindow) + windowWidth(quantizeWindow, false) + margin;
    if (!openWindow(compareSheetWindow, x, windowY(quantizeWindow), sheetWidth, sheetHeight,
                    compareSheetTitle, windowCloseBox, quantizeWindow)) {
        return;
    }
    resetControls();
    buildControls();
    sheet.source = thumbnailOf(*view, area, compareThumbWidth, compareThumbHeight);
    sheet.shown.clear();
    std::array<int, styleCount> limits{};
    for (int s = 0; s < styleCount; ++s) limits[s] = quantizeSettings.limitMemory[s];
    showProgress();
    startWork(limits, quantizeControls.ditherBox >= 0 && controlState(quantizeControls.ditherBox));
    startWindowTimer(compareSheetWindow, pollTimer, pollMilliseconds);
}

void closeCompareSheet() {
    // Joined before anything it reads goes.
    sheet.work.reset();
    for (int& image : sheet.images) {
        if (image) freeImage(image);
        image = 0;
    }
    if (sheet.progressImage) freeImage(sheet.progressImage);
    if (isWindow(compareSheetWindow)) closeWindow(compareSheetWindow);
    sheet.shown.clear();
    sheet.source = Image();
    resetControls();
}

bool compareSheetOpen() {
    return isWindow(compareSheetWindow);
}

bool compareSheetComplete() {
    return static_cast<int>(sheet.shown.size()) == styleCount;
}

std::vector<StyleComparison> compareSheetRows() {
    return sheet.shown;
}

const Image& compareSheetSource() {
    return sheet.source;
}

int compareSheetThumbnail(int style) {
    return style >= 0 && style < styleCount ? sheet.thumbnails[style] : -1;
}

int compareSheetLabel(int style) {
    return style >= 0 && style < styleCount ? sheet.labels[style] : -1;
}

void compareSheetEvent(const Event& event) {
    if (!isWindow(compareSheetWindow)) return;
    if (event.kind == eventCloseWindow) {
        closeCompareSheet();
    } else if (event.kind == eventTimer && event.object == pollTimer) {
        takeFinished();
    } else if (event.kind == eventControl && event.type == controlChange) {
        for (int s = 0; s < styleCount; ++s) {
            if (event.object == sheet.thumbnails[s]) chooseStyle(s);
        }
    }
}

void registerCompareSheet() {
    closeCompareSheet();
    registerWindowHandler(compareSheetWindow, compareSheetEvent);
}
