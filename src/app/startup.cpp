#include "app/startup.h"

#include <filesystem>

#include "adjust/brightness_window.h"
#include "app/files.h"
#include "app/help_window.h"
#include "app/loop.h"
#include "app/main_window.h"
#include "app/new_image_window.h"
#include "app/preferences.h"
#include "app/view.h"
#include "canvas/add_text_window.h"
#include "canvas/selector.h"
#include "core/registry.h"
#include "core/state.h"
#include "core/undo.h"
#include "quantize/quantize.h"
#include "toolkit/gui.h"
#include "toolkit/image_store.h"
#include "tools/palette_window.h"

namespace {

// Tables of the other subsystems, built once at start-up.
void initialiseOtherSubsystems() {
    initQuantize();
    resetBrightnessWindow();
    resetPaletteWindow();
}

}  // namespace

void initialiseGlobals() {
    resetAddText();
    resetFileState();
    resetCoreState();
    resetSelector();
    resetView();
    resetHelpWindow();
    resetNewImageDialog();
    clearUndo();
    undoFlags = 0;
    windowState = windowNormal;
    initialiseOtherSubsystems();
    clearRegistry();
    registerProgram();
}

void shutdownProgram() {
    writePreferences();
    clearUndo();
    releaseToolkit();
    freeAllImages();
    setServices(nullptr);
}

int runPixova(const std::string& path) {
    initialiseGlobals();
    if (openMainWindow()) {
        // The folder of a relative name must still be known when the preferences are
        // written.
        std::error_code ec;
        if (!path.empty()) openImagePath(std::filesystem::absolute(path, ec).string());
        while (loopStep() != 0) {
        }
    }
    shutdownProgram();
    return 0;
}
