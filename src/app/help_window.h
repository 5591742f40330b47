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

// Half the desktop, measured on the first request and kept for the run.
extern int helpWidth;
extern int helpHeight;
extern int helpFont;         // -1 until the first request
extern int helpTextControl;  // -1 while the window is closed

// Opens the window (1), or raises the open one (0); 0 also when it cannot be opened.
int showHelp();
void helpWindowEvent(const Event& event);
void registerHelpWindow();
void resetHelpWindow();
