#include "app/recent_files.h"

#include <algorithm>
#include <filesystem>

#include "app/files.h"
#include "app/main_window.h"
#include "core/commands.h"
#include "core/registry.h"
#include "toolkit/gui.h"
#include "toolkit/prefs.h"

std::vector<std::string> recentFiles;

namespace {

// A path as a menu caption: an "&" would be taken for the item's Alt key.
std::string menuCaption(int index, const std::string& path) {
    std::string caption = std::to_string(index + 1) + "  ";
    for (char c : path) {
        if (c == '&') caption += '&';
        caption += c;
    }
    return caption;
}

}  // namespace

std::vector<std::string> withRecentFile(std::vector<std::string> list, const std::string& path) {
    list = withoutRecentFile(std::move(list), path);
    list.insert(list.begin(), path);
    if (list.size() > static_cast<size_t>(recentFileLimit)) list.resize(recentFileLimit);
    return list;
}

std::vector<std::string> withoutRecentFile(std::vector<std::string> list, const std::string& path) {
    list.erase(std::remove(list.begin(), list.end(), path), list.end());
    return list;
}

void noteRecentFile(const std::string& path) {
    // The preferences file holds one line per entry.
    if (path.empty() || path.find('\n') != std::string::npos) return;
    recentFiles = withRecentFile(std::move(recentFiles), path);
    showRecentFiles();
}

void openRecentFile(int index) {
    if (index < 0 || index >= static_cast<int>(recentFiles.size())) return;
    const std::string path = recentFiles[static_cast<size_t>(index)];
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        recentFiles = withoutRecentFile(std::move(recentFiles), path);
        showRecentFiles();
        dialogs().messageBox(recentMissingTitle,
                             path + " no longer exists. It has been removed from the list.",
                             buttonsOk);
        return;
    }
    openImagePath(path);
}

void showRecentFiles() {
    if (!isMenu(mainMenuBar)) return;
    for (int i = 0; i < recentFileLimit; ++i) {
        const int id = commandRecentFile + i;
        const bool used = i < static_cast<int>(recentFiles.size());
        if (used) setMenuItemText(mainMenuBar, id, menuCaption(i, recentFiles[i]));
        showMenuItem(mainMenuBar, id, used);
    }
}

void readRecentFiles(const Preferences& prefs) {
    recentFiles.clear();
    for (int i = 1; i <= recentFileLimit; ++i) {
        std::string path = prefs.readString(recentFileKeyPrefix + std::to_string(i), "");
        // Read oldest last, so a file listed twice keeps its newer place.
        if (!path.empty() &&
            std::find(recentFiles.begin(), recentFiles.end(), path) == recentFiles.end()) {
            recentFiles.push_back(path);
        }
    }
}

void writeRecentFiles(Preferences& prefs) {
    for (size_t i = 0; i < recentFiles.size(); ++i) {
        prefs.writeString(recentFileKeyPrefix + std::to_string(i + 1), recentFiles[i]);
    }
}

void registerRecentFiles() {
    for (int i = 0; i < recentFileLimit; ++i) {
        registerCommand(commandRecentFile + i,
                        [](int id) { openRecentFile(id - commandRecentFile); });
    }
    registerCommand(commandClearRecent, [](int) {
        recentFiles.clear();
        showRecentFiles();
    });
}
