#include <unistd.h>

#include <iostream>

#include "batch/batch.h"
#include "toolkit/atomic_file.h"
#include "toolkit/huge_pages.h"

int main(int argc, char** argv) {
    restartWithHugePages(argv);
    // Ctrl+C or a kill in the middle of a write leaves no temporary file behind.
    removeTemporaryFilesOnSignal();
    std::vector<std::string> args(argv + 1, argv + argc);
    return runBatch(args, std::cout, std::cerr, isatty(STDERR_FILENO) != 0);
}
