#pragma once
// The help window: the manual in a read-only, word-wrapped, scrolling text control. It is
// independent of the tool windows: it may stay open beside any of them.

#include <cstdint>

#include "toolkit/gui.h"

inline constexpr const char* helpTitle = "Pixova Help";
inline constexpr const char* helpFontName = "Courier New";
inline constexpr int helpFontSize = 12;
inline constexpr uint32_t helpBackground = 0x8fdfdf;
inline constexpr uint32_t helpTextColour = 0x802a29;

// Kept for the run.
struct HelpSettings {
    // Half the desktop, measured on the first request.
    int helpWidth = 0;
    int helpHeight = 0;
    int helpFont = -1;         // -1 until the first request
    int helpTextControl = -1;  // -1 while the window is closed
};
extern HelpSettings helpSettings;

// Opens the window (1), or raises the open one (0); 0 also when it cannot be opened.
int showHelp();
void helpWindowEvent(const Event& event);
void registerHelpWindow();
void resetHelpWindow();
