#pragma once
// Start-up, preferences and shutdown.

#include <string>

// Add-text defaults, kept for the run.
extern std::string textString;
extern std::string textFontName;
extern std::string textFontStyle;

// State of the main window: 0 normal, 512 maximized, 1024 minimized.
extern int windowState;

inline constexpr const char* preferencesFileName = "Pixova_ImgageEditor.prefs";
inline constexpr const char* lastPathKey = "LastPath";
inline constexpr const char* lastWindowStateKey = "LastWindowState";

// The home directory followed by the preferences file name.
std::string preferencesPath();

// Every global to its start-up value, and the other subsystems' tables built.
void initialiseGlobals();
// currentFilePath and windowState from the preferences file (defaults when missing).
void readPreferences();
// "LastPath" and "LastWindowState" into the preferences file.
void writePreferences();
// Writes the preferences and releases every toolkit object and image.
void shutdownProgram();

// The whole program: start-up, the event loop until the user confirms quitting, shutdown.
int runPixova();
