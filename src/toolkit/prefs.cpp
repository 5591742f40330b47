#include "toolkit/prefs.h"

#include <charconv>
#include <fstream>
#include <sstream>

#include "toolkit/atomic_file.h"

namespace {

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return "";
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

// A garbled or binary file must not cost memory or time: entries whose key and value
// together are longer than this are ignored, and neither written nor read.
constexpr size_t maxEntryLength = 65536;
// What a written line adds to them: " = ", and a carriage return another editor may add.
constexpr size_t lineExtra = 4;
constexpr size_t maxFileSize = 1 << 20;
constexpr size_t maxEntries = 1024;

}  // namespace

bool Preferences::read(const std::string& path) {
    entries_.clear();
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    // Only the start of an oversized file is read: a real one is a few lines long.
    std::string text(maxFileSize, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(file.gcount()));
    // A line cut off at the limit is not read as if it were whole.
    if (text.size() == maxFileSize) text.resize(text.rfind('\n') + 1);
    std::istringstream in(text);
    std::string line;
    while (entries_.size() < maxEntries && std::getline(in, line)) {
        if (line.size() > maxEntryLength + lineExtra) continue;
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = trim(line.substr(0, eq));
        if (key.empty()) continue;
        std::string value = line.substr(eq + 1);
        // The writer puts one blank after '='; keep any further leading blanks of the value.
        if (!value.empty() && value[0] == ' ') value.erase(0, 1);
        while (!value.empty() && (value.back() == '\r' || value.back() == '\n')) value.pop_back();
        if (key.size() + value.size() > maxEntryLength) continue;
        writeString(key, value);
    }
    return true;
}

bool Preferences::write(const std::string& path) const {
    std::string text;
    size_t written = 0;
    for (auto& [key, value] : entries_) {
        // A line break inside a value would split it into lines of its own on reading.
        if (value.find_first_of("\r\n") != std::string::npos) continue;
        // What the reader would ignore or cut off is not written either.
        if (key.size() + value.size() > maxEntryLength) continue;
        const size_t line = key.size() + value.size() + 4;
        if (written + line > maxFileSize) continue;
        written += line;
        text += key + " = " + value + "\n";
    }
    // Whole or not at all: a full disk or a crash must not leave half a file.
    return writeFileAtomically(path, reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                               ReplaceMode::Always)
        .ok();
}

const std::string* Preferences::find(const std::string& key) const {
    for (auto& entry : entries_) {
        if (entry.first == key) return &entry.second;
    }
    return nullptr;
}

std::string Preferences::readString(const std::string& key, const std::string& fallback) const {
    const std::string* v = find(key);
    return v ? *v : fallback;
}

int64_t Preferences::readInteger(const std::string& key, int64_t fallback) const {
    const std::string* v = find(key);
    if (!v) return fallback;
    std::string t = trim(*v);
    int64_t result = 0;
    auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), result);
    if (ec != std::errc() || end != t.data() + t.size() || t.empty()) return fallback;
    return result;
}

void Preferences::writeString(const std::string& key, const std::string& value) {
    for (auto& entry : entries_) {
        if (entry.first == key) {
            entry.second = value;
            return;
        }
    }
    entries_.emplace_back(key, value);
}

void Preferences::writeInteger(const std::string& key, int64_t value) {
    writeString(key, std::to_string(value));
}
