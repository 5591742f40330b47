#include "toolkit/huge_pages.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr const char* tunablesVariable = "GLIBC_TUNABLES";
constexpr const char* hugePagesTunable = "glibc.malloc.hugetlb";

}  // namespace

void restartWithHugePages(char** argv) {
    // glibc reads its tunables only when a program starts. A setting already there, the
    // user's own or ours from the restart, is left alone.
    const char* tunables = std::getenv(tunablesVariable);
    if (tunables && std::strstr(tunables, hugePagesTunable)) return;
    std::string value = std::string(hugePagesTunable) + "=1";
    if (tunables && *tunables) value = std::string(tunables) + ":" + value;
    if (setenv(tunablesVariable, value.c_str(), 1) != 0) return;
    execv("/proc/self/exe", argv);
    // No restart possible: go on as we are.
}
