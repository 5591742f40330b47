#pragma once
// pixova-batch: runs the editor's operations on image files from the command line.
//   pixova-batch [OPTION ...] INPUT [OUTPUT]
//   pixova-batch [OPTION ...] INPUT ... --out-dir DIR [--format png|jpg|jp2|bmp]

#include <ostream>
#include <string>
#include <vector>

inline constexpr int batchOk = 0;
inline constexpr int batchFileError = 1;   // an unreadable input or unwritable output
inline constexpr int batchUsageError = 2;  // unknown option, bad value, nothing to write

// `args` excludes the program name. Results go to `out` (--count, --help, --version),
// messages to `err`. With `progress`, a line on `err` shows how far a run over many files
// has got (for a terminal).
int runBatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
             bool progress = false);

// Lower case with spaces and punctuation dropped: "X-factor" -> "xfactor".
std::string normalisedName(const std::string& name);
