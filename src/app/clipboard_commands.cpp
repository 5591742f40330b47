#include "app/clipboard_commands.h"

#include "app/files.h"
#include "app/view.h"
#include "canvas/geometry.h"
#include "canvas/selector.h"
#include "core/commands.h"
#include "core/registry.h"
#include "core/state.h"
#include "toolkit/gui.h"
#include "toolkit/image_store.h"

namespace {

constexpr int noticeWidth = 200;
constexpr int noticeHeight = 30;
constexpr int noticeTextY = 5;
constexpr int noticeTextHeight = 25;
constexpr int noticeOffsetX = 30;
constexpr int noticeOffsetY = -15;
constexpr int noticePollMilliseconds = 10;

// Shows the notice for its time; every event meanwhile is taken and dropped, so keys
// pressed while it shows are lost.
void showCopiedNotice(const Image& view) {
    int x = view.width / 2 + windowX(mainWindow) + noticeOffsetX;
    int y = view.height / 2 + windowY(mainWindow) + noticeOffsetY;
    bool shown = openWindow(copyNoticeWindow, x, y, noticeWidth, noticeHeight, "", windowBorderless,
                            mainWindow);
    if (shown) {
        textControl(anyControlNumber, 0, noticeTextY, noticeWidth, noticeTextHeight, copiedNotice,
                    true);
    }
    int64_t end = elapsedMilliseconds() + copyNoticeMilliseconds;
    while (elapsedMilliseconds() < end) {
        while (windowEvent().kind != eventNone) {
        }
        delay(noticePollMilliseconds);
    }
    if (shown) closeWindow(copyNoticeWindow);
}

}  // namespace

void copyToClipboard() {
    Image* view = findImage(viewImage);
    if (!view) return;
    if (selection.active) {
        int part = grabSelection(anyImageNumber);
        if (part) {
            setClipboardImage(*findImage(part));
            freeImage(part);
        }
    } else {
        setClipboardImage(*view);
    }
    showCopiedNotice(*findImage(viewImage));
}

void pasteNewImage() {
    Image pasted = clipboardImage();
    if (pasted.empty()) return;
    // Narrower or lower than the smallest image the editor makes: stretched to it.
    if (pasted.width < smallestSide) {
        pasted = resampleMitchell(pasted, smallestSide, pasted.height);
    }
    if (pasted.height < smallestSide) {
        pasted = resampleMitchell(pasted, pasted.width, smallestSide);
    }
    beginUnsavedDocument(std::move(pasted));
}

void registerClipboardCommands() {
    registerCommand(commandCopy, [](int) { copyToClipboard(); });
    registerCommand(commandPasteNew, [](int) { pasteNewImage(); });
}
