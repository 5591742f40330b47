#pragma once
// Who handles what: the handler of each command identifier, the handler of each tool
// window's events, and the few services of the view that the layers below the
// application call upward through. The application fills the services at start-up; each
// window adds itself with one register function.

#include <initializer_list>
#include <string>

#include "toolkit/gui.h"

using CommandHandler = void (*)(int command);
using WindowHandler = void (*)(const Event& event);

// A later registration for the same number replaces the earlier one.
void registerCommand(int command, CommandHandler handler);
void registerCommands(std::initializer_list<int> commands, CommandHandler handler);
void registerWindowHandler(int window, WindowHandler handler);

// Runs the handler of `command`; false (and nothing done) when none is registered.
bool runCommand(int command);
// Passes the event to its window's handler; false when the window has none.
bool routeWindowEvent(const Event& event);

// A tool window holds the tool-window guard while it is open: no other tool window opens,
// and operations that refuse while a tool is open do nothing. `flag` is the bit it sets in
// anyToolWindowOpen(). `previewSource`, when given, names the image the canvas shows while
// the window is open (-1: the document); `forAnalysis` asks for the one the histogram and
// palette should follow. Windows are asked in the order they registered.
using PreviewSource = int (*)(bool forAnalysis);
void registerToolWindow(int window, int flag, PreviewSource previewSource = nullptr);
// The window says so as it opens and closes; an unregistered window number does nothing.
void setToolWindowOpen(int window, bool open);
bool toolWindowOpen(int window);
// The flags of every open tool window, or'ed; 0 when none is open.
int anyToolWindowOpen();
// The image a tool window previews on the canvas (the first open window's source that
// names one), else viewImage.
int previewImage(bool forAnalysis = false);
// Every tool window closed, as at start-up (their registrations stay).
void resetToolWindowsOpen();

// A window whose preview was made from the document learns here of every change of the
// document's state (an edit, undo, redo, a load), however it came about.
using DocumentListener = void (*)();
void registerDocumentListener(DocumentListener listener);
// Tells every listener; the undo history calls it after each change of its current entry.
void documentChanged();

// Forgets every handler (start-up and tests).
void clearRegistry();

// What algorithms and windows ask of the view. The default does nothing and shows
// viewImage, which is all that code running without a main window needs.
class ViewServices {
  public:
    virtual ~ViewServices() = default;
    // Redraws the canvas with `image` and rewrites the status fields and analysis windows;
    // keepSelection 0 drops the selection.
    virtual void refreshView(int /*image*/, int /*keepSelection*/) {}
    // Resizes the main window around `image` and lays the view out again.
    virtual void fitWindowToImage(int /*image*/) {}
    // Histogram and palette tool, from the image they should show now.
    virtual void refreshAnalysis() {}
    virtual void refreshPalette() {}
    virtual void refreshHistogram() {}
    // The tool-bar toggles and menu check marks of the histogram and palette tool show
    // histogramShown and paletteShown.
    virtual void showAnalysisToggles() {}
    // Enables the undo and redo buttons.
    virtual void setUndoButtons(bool /*undoEnabled*/, bool /*redoEnabled*/) {}
    // A short notice in the status bar.
    virtual void showNotice(const std::string& /*text*/) {}
    // Status field 1, which describes the selection or what a floating section covers.
    virtual void setSelectionStatus(const std::string& /*text*/) {}
    // Height of the main window's tool bar, which tool windows place themselves below.
    virtual int toolBarHeight() { return 0; }
    // The image the canvas shows: a tool window's preview while one is open, else the
    // document.
    virtual int shownImage();
};

ViewServices& services();
// nullptr restores the default.
void setServices(ViewServices* implementation);
