#pragma once
// The two remembered settings: the folder of the last image and the main window's state.

#include <string>

// State of the main window: 0 normal, 512 maximized, 1024 minimized.
extern int windowState;

inline constexpr const char* preferencesFileName = "Pixova_ImgageEditor.prefs";
inline constexpr const char* lastPathKey = "LastPath";
inline constexpr const char* lastWindowStateKey = "LastWindowState";
inline constexpr const char* defaultPicturesFolder = "Pictures/";
// The file name the status bar shows until an image is loaded, saved or created.
inline constexpr const char* noImageName = "no_image_loaded";

// The home directory followed by the preferences file name.
std::string preferencesPath();
// currentFilePath and windowState from the preferences file (defaults when missing).
void readPreferences();
// "LastPath" and "LastWindowState" into the preferences file.
void writePreferences();
