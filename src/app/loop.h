#pragma once
// The event loop: waits for events, routes them to the main window or to the tool window
// they belong to, and turns the main window's menu events into registered commands.

#include "toolkit/gui.h"

inline constexpr const char* quitTitle = "End Program";
inline constexpr const char* quitQuestion = "Are you sure?";
inline constexpr const char* quitQuestionUnsaved = "Are you sure? The image has unsaved changes.";

// Waits for and routes events until quitting is requested, then asks the quit question.
// Returns 0 when the user confirms, 1 to go on.
int loopStep();
void routeEvent(const Event& event);
void mainWindowEvent(const Event& event);
// Runs the command registered for `id` (nothing for an unregistered one).
void dispatchCommand(int id);

// Every command and window of the program, registered once at start-up.
void registerProgram();
