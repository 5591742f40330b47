#pragma once
// The two remembered settings: the folder of the last image and the main window's state.

#include <string>

// State of the main window: 0 normal, 512 maximized, 1024 minimized.
extern int windowState;

inline constexpr const char* preferencesFileName = "Pixova_ImgageEditor.prefs";
inline constexpr const char* lastPathKey = "LastPath";
inline constexpr const char* lastWindowStateKey = "LastWindowState";
// 1 when a large image opens fitted to the window, as the user last chose for one.
inline constexpr const char* fitLargeImagesKey = "FitLargeImages";
inline constexpr const char* defaultPicturesFolder = "Pictures/";
// The file name the status bar shows until an image is loaded, saved or created.
inline constexpr const char* noImageName = "no_image_loaded";

// The home directory followed by the preferences file name.
std::string preferencesPath();
// currentFilePath, windowState, the zoom for large images and the recent files from the
// preferences file (defaults when missing).
void readPreferences();
// "LastPath", "LastWindowState", "FitLargeImages" and the recent files into the
// preferences file.
void writePreferences();
