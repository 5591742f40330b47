#include "core/registry.h"

#include <map>

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

bool commandRegistered(int command) {
    return commandHandlers().count(command) != 0;
}

void clearRegistry() {
    commandHandlers().clear();
    windowHandlers().clear();
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
