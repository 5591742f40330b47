#include "app/startup.h"

#include "app/files.h"
#include "app/loop.h"
#include "app/main_window.h"
#include "app/view.h"
#include "canvas/selector.h"
#include "core/state.h"
#include "core/undo.h"
#include "quantize/quantize.h"
#include "toolkit/gui.h"
#include "toolkit/image_store.h"
#include "toolkit/prefs.h"

std::string textString;
std::string textFontName;
std::string textFontStyle;
int windowState = windowNormal;

namespace {

constexpr const char* defaultPicturesFolder = "Pictures/";
constexpr const char* noImageName = "no_image_loaded";

// Tables of the other subsystems, built once at start-up.
void initialiseOtherSubsystems() {
    initQuantize();
}

}  // namespace

std::string preferencesPath() {
    return homeDirectory() + preferencesFileName;
}

void initialiseGlobals() {
    textString = "Enter text here.";
    textFontName = "Arial";
    textFontStyle = "Normal";
    resetFileState();
    resetCoreState();
    resetSelector();
    resetView();
    clearUndo();
    undoFlags = 0;
    windowState = windowNormal;
    initialiseOtherSubsystems();
}

void readPreferences() {
    Preferences prefs;
    prefs.read(preferencesPath());
    currentFilePath = prefs.readString(lastPathKey, homeDirectory() + defaultPicturesFolder);
    int64_t state = prefs.readInteger(lastWindowStateKey, windowNormal);
    // Anything but the three known states is a damaged file: start normal.
    windowState = (state == windowMaximized || state == windowMinimized) ? static_cast<int>(state)
                                                                         : windowNormal;
    currentFilePath += noImageName;
}

void writePreferences() {
    if (windowState == windowMinimized) windowState = windowNormal;
    Preferences prefs;
    prefs.writeString(lastPathKey, folderPart(currentFilePath));
    prefs.writeInteger(lastWindowStateKey, windowState);
    prefs.write(preferencesPath());
}

void shutdownProgram() {
    writePreferences();
    clearUndo();
    releaseToolkit();
    freeAllImages();
}

int runPixova() {
    initialiseGlobals();
    if (openMainWindow()) {
        while (loopStep() != 0) {
        }
    }
    shutdownProgram();
    return 0;
}
