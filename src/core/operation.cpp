#include "core/operation.h"

#include "core/registry.h"
#include "core/undo.h"
#include "toolkit/image_store.h"

namespace {

void refreshAfter(const OperationFrame& frame) {
    switch (frame.refresh) {
        case FrameRefresh::KeepSelection:
            services().refreshView(viewImage, 1);
            break;
        case FrameRefresh::FitWindow:
            services().fitWindowToImage(viewImage);
            break;
        case FrameRefresh::DropSelection:
            services().refreshView(viewImage, 0);
            break;
        case FrameRefresh::None:
            break;
    }
}

}  // namespace

bool runOperation(const OperationFrame& options, const OperationWork& work) {
    OperationFrame frame = options;
    if (frame.followsFloating && floatingActive) {
        frame.snapshot = FrameSnapshot::None;
        frame.refresh = FrameRefresh::None;
    }
    if (frame.refuseWhileToolOpen && anyToolWindowOpen()) return false;
    if (frame.refuseWhileFloating && floatingActive) return false;
    Image* target = findImage(frame.image);
    if (!target) return false;
    Rect rect =
        frame.wholeImage ? wholeImage(*target) : clipToImage(operationRect(*target), *target);
    if (!rect.empty() && !work(*target, rect)) return false;
    if (frame.snapshot == FrameSnapshot::BeforeRefresh) {
        takeSnapshot(frame.image);
        services().refreshPalette();
    }
    refreshAfter(frame);
    if (frame.snapshot == FrameSnapshot::AfterRefresh) takeSnapshot(frame.image);
    return true;
}

bool runOperation(const OperationFrame& frame, void (*work)(Image& image, const Rect& rect)) {
    return runOperation(frame, [work](Image& image, const Rect& rect) {
        work(image, rect);
        return true;
    });
}
