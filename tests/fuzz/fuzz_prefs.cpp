// libFuzzer target: the preferences reader on arbitrary file contents. Whatever it keeps
// must be well formed and must survive being written and read again.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "contract.h"
#include "toolkit/prefs.h"

namespace {

// One file per process, rewritten for each input.
const std::string& scratchPath() {
    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        return std::string(dir && *dir ? dir : "/tmp") + "/pixova-fuzz-prefs-" +
               std::to_string(::getpid());
    }();
    return path;
}

void writeFile(const std::string& path, const uint8_t* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) contractBroken("cannot write the scratch file");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = scratchPath();
    writeFile(path, data, size);
    Preferences prefs;
    if (!prefs.read(path)) contractBroken("an existing file could not be read");
    // Every key the program uses reads without harm.
    for (const char* key : {"LastPath", "LastWindowState"}) {
        prefs.readString(key, "");
        prefs.readInteger(key, 0);
    }
    // Written and read again, the two program keys keep their values unless a value holds
    // a line break (the writer leaves those out).
    if (!prefs.write(path)) contractBroken("preferences could not be written");
    Preferences again;
    if (!again.read(path)) contractBroken("written preferences could not be read");
    for (const char* key : {"LastPath", "LastWindowState"}) {
        const std::string before = prefs.readString(key, "\n(missing)");
        if (before.find_first_of("\r\n") != std::string::npos) continue;
        if (again.readString(key, "\n(missing)") != before) {
            contractBroken("a preference changed when written and read again");
        }
    }
    std::remove(path.c_str());
    return 0;
}
