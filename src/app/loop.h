#pragma once
// The event loop and the main window's command dispatch.

#include "toolkit/gui.h"

using WindowHandler = void (*)(const Event&);
// Tool windows register the handler that receives their window's events.
void registerWindowHandler(int window, WindowHandler handler);

// Waits for and routes events until quitting is requested, then asks "Are you sure?".
// Returns 0 when the user confirms, 1 to go on.
int loopStep();
void routeEvent(const Event& event);
void mainWindowEvent(const Event& event);
void dispatchCommand(int id);

// Commands of windows that are not built yet plug in here.
using CommandHandler = void (*)();
void registerCommand(int id, CommandHandler handler);
