#pragma once
// The preferences file: plain text, one "key = value" line per entry.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class Preferences {
  public:
    // Reads the file; a missing or unreadable file leaves no entries (callers use defaults).
    bool read(const std::string& path);
    // Writes the entries in the order they were set; false when the file cannot be written.
    bool write(const std::string& path) const;

    std::string readString(const std::string& key, const std::string& fallback) const;
    // Falls back when the key is missing or its value is not a whole decimal number.
    int64_t readInteger(const std::string& key, int64_t fallback) const;

    void writeString(const std::string& key, const std::string& value);
    void writeInteger(const std::string& key, int64_t value);

  private:
    std::vector<std::pair<std::string, std::string>> entries_;
    const std::string* find(const std::string& key) const;
};
