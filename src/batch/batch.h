#pragma once
// pixova-batch: runs the editor's operations on image files from the command line.
//   pixova-batch [OPTION ...] INPUT [OUTPUT]
//   pixova-batch [OPTION ...] INPUT -o OUTPUT
//   pixova-batch [OPTION ...] INPUT ... --out-dir DIR | --ext SUFFIX

#include <istream>
#include <ostream>
#include <string>
#include <vector>

inline constexpr int batchOk = 0;
inline constexpr int batchFileError = 1;       // an unreadable input or unwritable output
inline constexpr int batchUsageError = 2;      // unknown option, bad value, nothing to write
inline constexpr int batchSkippedLarger = 98;  // --skip-if-larger wrote nothing for a file
inline constexpr int batchTargetMissed = 99;   // --target-de: 256 colours were not enough

// `args` excludes the program name. Results go to `out` (--count, --help, --version, and
// an image written to '-'), messages to `err`; an INPUT '-' is read from `in` (standard
// input when null). With `progress`, a line on `err` shows how far a run over many files
// has got (for a terminal).
int runBatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
             bool progress = false, std::istream* in = nullptr);

// The manual page pixova-batch(1), in roff, made from the same tables as --help.
std::string batchManPage();

// Lower case with spaces and punctuation dropped: "X-factor" -> "xfactor".
std::string normalisedName(const std::string& name);
