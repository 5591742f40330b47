#include "core/split_view.h"

#include <algorithm>

#include "core/registry.h"
#include "core/state.h"
#include "toolkit/image_store.h"

void setSplitView(bool on, bool redraw) {
    splitColumn = -1;
    const Image* view = findImage(viewImage);
    if (on && view) {
        splitColumn = std::clamp(currentView().imageX(viewCanvasWidth / 2), 0, view->width);
    }
    if (redraw) services().refreshView(services().shownImage(), 1);
}
