#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "batch/batch.h"

namespace {

constexpr const char* tunablesVariable = "GLIBC_TUNABLES";
constexpr const char* hugePagesTunable = "glibc.malloc.hugetlb";

// Runs the program again with glibc's malloc putting large blocks in transparent huge
// pages. A batch run touches a few image-sized buffers once each, and on a virtual machine
// the first touch of each 4 KiB page can cost more than the work done in it. glibc reads
// the setting only when a program starts; a user's own choice is left alone.
void restartWithHugePages(char** argv) {
    const char* tunables = std::getenv(tunablesVariable);
    if (tunables && std::strstr(tunables, hugePagesTunable)) return;
    std::string value = std::string(hugePagesTunable) + "=1";
    if (tunables && *tunables) value = std::string(tunables) + ":" + value;
    if (setenv(tunablesVariable, value.c_str(), 1) != 0) return;
    execv("/proc/self/exe", argv);
    // No restart possible: go on as we are.
}

}  // namespace

int main(int argc, char** argv) {
    restartWithHugePages(argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    return runBatch(args, std::cout, std::cerr, isatty(STDERR_FILENO) != 0);
}
