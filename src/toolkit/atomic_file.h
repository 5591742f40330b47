#pragma once
// Writing a whole file so that a failure half-way, a full disk or a killed process never
// leaves a damaged file where a good one was: the bytes go to a temporary file beside the
// target, which takes the target's name only once everything is written.

#include <cstddef>
#include <cstdint>
#include <string>

enum class ReplaceMode {
    Never,            // an existing file is left alone: the write fails with EEXIST
    Always,           // an existing file is replaced whole, or not at all
    AlwaysOrInPlace,  // as Always; in a folder that holds no new file, a writable file is
                      // overwritten in place (the only way to save there at all)
};

struct FileWriteResult {
    int error = 0;        // errno of the failure, 0 on success
    std::string message;  // the reason, for a failure
    bool ok() const { return error == 0; }
};

FileWriteResult writeFileAtomically(const std::string& path, const uint8_t* data, size_t size,
                                    ReplaceMode mode);

// From now on SIGINT, SIGTERM and SIGHUP first remove the temporary files that writes in
// progress have made, then end the program as the signal would have.
void removeTemporaryFilesOnSignal();
