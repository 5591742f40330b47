#pragma once
// Start-up and shutdown.

#include <string>

// Every global to its start-up value, the other subsystems' tables built, and every
// command and window registered.
void initialiseGlobals();
// Writes the preferences and releases every toolkit object and image.
void shutdownProgram();

// The whole program: start-up, the event loop until the user confirms quitting, shutdown.
// A non-empty `path` is opened at start as if chosen in the load dialog.
int runPixova(const std::string& path = {});
