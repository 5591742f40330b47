#include "app/preferences.h"

#include "app/recent_files.h"
#include "app/view.h"
#include "core/paths.h"
#include "core/state.h"
#include "toolkit/gui.h"
#include "toolkit/prefs.h"

int windowState = windowNormal;

std::string preferencesPath() {
    return homeDirectory() + preferencesFileName;
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
    fitLargeImages = prefs.readInteger(fitLargeImagesKey, 0) == 1 ? 1 : 0;
    readRecentFiles(prefs);
}

void writePreferences() {
    if (windowState == windowMinimized) windowState = windowNormal;
    Preferences prefs;
    prefs.writeString(lastPathKey, folderPart(currentFilePath));
    prefs.writeInteger(lastWindowStateKey, windowState);
    // The newer keys are written only when they hold something, so a first run still
    // leaves the two lines it always did.
    if (fitLargeImages) prefs.writeInteger(fitLargeImagesKey, fitLargeImages);
    writeRecentFiles(prefs);
    prefs.write(preferencesPath());
}
