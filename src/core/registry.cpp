#include "core/registry.h"

#include <algorithm>
#include <map>
#include <vector>

#include "core/state.h"

namespace {

std::map<int, CommandHandler>& commandHandlers() {
    static std::map<int, CommandHandler> handlers;
    return handlers;
}

std::map<int, WindowHandler>& windowHandlers() {
    static std::map<int, WindowHandler> handlers;
    return handlers;
}

std::vector<DocumentListener>& documentListeners() {
    static std::vector<DocumentListener> listeners;
    return listeners;
}

struct ToolWindow {
    int window;
    int flag;
    PreviewSource previewSource;
    bool open;
};

std::vector<ToolWindow>& toolWindows() {
    static std::vector<ToolWindow> windows;
    return windows;
}

ToolWindow* findToolWindow(int window) {
    for (ToolWindow& tool : toolWindows()) {
        if (tool.window == window) return &tool;
    }
    return nullptr;
}

ViewServices defaultServices;
ViewServices* currentServices = &defaultServices;

}  // namespace

void registerCommand(int command, CommandHandler handler) {
    commandHandlers()[command] = handler;
}

void registerCommands(std::initializer_list<int> commands, CommandHandler handler) {
    for (int command : commands) registerCommand(command, handler);
}

void registerWindowHandler(int window, WindowHandler handler) {
    windowHandlers()[window] = handler;
}

bool runCommand(int command) {
    auto it = commandHandlers().find(command);
    if (it == commandHandlers().end() || !it->second) return false;
    it->second(command);
    return true;
}

bool routeWindowEvent(const Event& event) {
    auto it = windowHandlers().find(event.window);
    if (it == windowHandlers().end() || !it->second) return false;
    it->second(event);
    return true;
}

void registerToolWindow(int window, int flag, PreviewSource previewSource) {
    if (ToolWindow* tool = findToolWindow(window)) {
        *tool = ToolWindow{window, flag, previewSource, tool->open};
    } else {
        toolWindows().push_back(ToolWindow{window, flag, previewSource, false});
    }
}

void setToolWindowOpen(int window, bool open) {
    if (ToolWindow* tool = findToolWindow(window)) tool->open = open;
}

bool toolWindowOpen(int window) {
    const ToolWindow* tool = findToolWindow(window);
    return tool && tool->open;
}

int anyToolWindowOpen() {
    int flags = 0;
    for (const ToolWindow& tool : toolWindows()) {
        if (tool.open) flags |= tool.flag;
    }
    return flags;
}

int previewImage(bool forAnalysis) {
    for (const ToolWindow& tool : toolWindows()) {
        if (!tool.open || !tool.previewSource) continue;
        const int image = tool.previewSource(forAnalysis);
        if (image >= 0) return image;
    }
    return viewImage;
}

void resetToolWindowsOpen() {
    for (ToolWindow& tool : toolWindows()) tool.open = false;
}

void registerDocumentListener(DocumentListener listener) {
    auto& all = documentListeners();
    if (listener && std::find(all.begin(), all.end(), listener) == all.end()) {
        all.push_back(listener);
    }
}

void documentChanged() {
    // A copy: a listener may register another.
    const std::vector<DocumentListener> listeners = documentListeners();
    for (DocumentListener listener : listeners) listener();
}

void clearRegistry() {
    commandHandlers().clear();
    windowHandlers().clear();
    documentListeners().clear();
    toolWindows().clear();
}

int ViewServices::shownImage() {
    return viewImage;
}

ViewServices& services() {
    return *currentServices;
}

void setServices(ViewServices* implementation) {
    currentServices = implementation ? implementation : &defaultServices;
}
