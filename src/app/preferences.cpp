#include "app/preferences.h"

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
}

void writePreferences() {
    if (windowState == windowMinimized) windowState = windowNormal;
    Preferences prefs;
    prefs.writeString(lastPathKey, folderPart(currentFilePath));
    prefs.writeInteger(lastWindowStateKey, windowState);
    prefs.write(preferencesPath());
}
