#pragma once
// The question asked before a save replaces a file that is already there.

#include <string>

// True when nothing is at `path`, or when the user answers Yes to replacing it.
bool replaceAllowed(const std::string& path);
