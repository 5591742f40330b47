#pragma once
// File > Open Recent: the last files opened or saved, newest first, kept in the preferences
// file.

#include <string>
#include <vector>

class Preferences;

inline constexpr int recentFileLimit = 10;
// "RecentFile1" (the newest) .. "RecentFile10".
inline constexpr const char* recentFileKeyPrefix = "RecentFile";
inline constexpr const char* recentMissingTitle = "Open Recent";

extern std::vector<std::string> recentFiles;

// `list` with `path` at its front, no other copy of it, and at most the limit.
std::vector<std::string> withRecentFile(std::vector<std::string> list, const std::string& path);
// `list` without `path`.
std::vector<std::string> withoutRecentFile(std::vector<std::string> list, const std::string& path);

// The document was opened or saved under `path`: it becomes the newest entry.
void noteRecentFile(const std::string& path);
// Opens entry `index` (0 the newest), as a load of it would; an entry whose file is gone is
// taken off the list with a message.
void openRecentFile(int index);
// The Open Recent items show the list.
void showRecentFiles();

void readRecentFiles(const Preferences& prefs);
void writeRecentFiles(Preferences& prefs);
void registerRecentFiles();
