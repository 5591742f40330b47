#pragma once
// pixova-batch: runs the editor's operations on an image file from the command line.
//   pixova-batch INPUT [OPTION ...] [OUTPUT]

#include <ostream>
#include <string>
#include <vector>

inline constexpr int batchOk = 0;
inline constexpr int batchFileError = 1;   // unreadable input or unwritable output
inline constexpr int batchUsageError = 2;  // unknown option or bad value

// `args` excludes the program name. Results go to `out` (--count, --help), messages to `err`.
int runBatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Lower case with spaces and punctuation dropped: "X-factor" -> "xfactor".
std::string normalisedName(const std::string& name);
