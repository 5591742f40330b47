#pragma once
// Runs pixova-batch in process, capturing what it prints.

#include <sstream>
#include <string>
#include <vector>

#include "batch/batch.h"

struct BatchRun {
    int code;
    std::string out, err;
};

inline BatchRun batch(const std::vector<std::string>& args, bool progress = false) {
    std::ostringstream out, err;
    int code = runBatch(args, out, err, progress);
    return {code, out.str(), err.str()};
}
