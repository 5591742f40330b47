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
