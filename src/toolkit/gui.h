#pragma once
// The program's toolkit: numbered windows, controls, menus, a tool bar, a status bar and one
// event queue the program waits on, as a thin layer over Qt Widgets. No Qt type appears
// here, so the program's code reads as plain calls on numbers.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "toolkit/image.h"

// ---- Events -------------------------------------------------------------------------------

enum EventKind : int {
    eventNone = 0,
    eventMenu = 1,         // object = command identifier (menu item, tool bar, shortcut)
    eventControl = 2,      // object = control number, type = event sub-type below
    eventCloseWindow = 3,  // the window's close box
    eventSizeWindow = 4,   // the window was resized
    eventMoveWindow = 5,
    eventMinimizeWindow = 6,
    eventMaximizeWindow = 7,
    eventRestoreWindow = 8,
    eventActivateWindow = 9,
    eventRightClick = 10,  // posted by the program's canvas handler
    eventTimer = 11,
    eventFrameWindow = 12,  // the window manager framed the window or changed its frame
    eventDropFiles = 13,    // files were dropped on the window: takeDroppedFiles()
    // Program-defined kinds start above the toolkit's own range.
    firstProgramEvent = 0x10000,
};

// Sub-types of eventControl.
enum ControlEventType : int {
    controlChange = 0,  // value or text changed, button clicked, item chosen
    controlLeftButtonDown = 1,
    controlLeftButtonUp = 2,
    controlRightButtonDown = 3,
    controlRightButtonUp = 4,
    controlMouseMove = 5,
    controlKeyDown = 6,
    controlFocus = 7,
    controlUp = 8,    // spin field arrow
    controlDown = 9,  // spin field arrow
    controlDoubleClick = 10,
    controlWheel = 11,  // canvas: the wheel turned over it (delta, modifiers)
};

enum KeyModifier : int { modifierShift = 1, modifierCtrl = 2 };

struct Event {
    int kind = eventNone;
    int window = -1;
    int object = -1;
    int64_t type = 0;
    int x = 0;  // mouse position on the control for canvas events
    int y = 0;
    int key = 0;  // key code for controlKeyDown (27 = Esc, 13 = Return)
    // controlWheel: eighths of a degree (120 a notch; > 0 away from the user, or to the
    // left), along the wheel's axis (wheelHorizontal), and the keys held.
    int delta = 0;
    bool wheelHorizontal = false;
    int modifiers = 0;
};

// Blocks until an event is queued and returns it, running the toolkit meanwhile.
Event waitWindowEvent();
// Called by waitWindowEvent whenever it finds the queue empty, before it waits: tests use it
// to act inside a nested loop (a modal dialog, a floating section) as the user would.
void setIdleHandler(std::function<void()> handler);
// Returns the next queued event without blocking (kind eventNone when there is none).
Event windowEvent();
// Queues a program event.
void postEvent(int kind, int window, int object = -1, int64_t type = 0);
void postEvent(const Event& event);
// Drops every queued event.
void clearEvents();
int64_t elapsedMilliseconds();
void delay(int milliseconds);
// Replaces the clock behind elapsedMilliseconds() and delay(), so that tests of waits and
// throttles take no real time; nullptr restores the real clock or sleep.
using ClockFunction = int64_t (*)();
using SleepFunction = void (*)(int milliseconds);
void setClock(ClockFunction now, SleepFunction sleep);

// One-shot timers: after `milliseconds` an eventTimer (object = id) is queued for `window`.
// Starting a running timer of the same window and id starts it afresh; closing the window
// stops its timers.
void startWindowTimer(int window, int id, int milliseconds);
void stopWindowTimer(int window, int id);
bool windowTimerActive(int window, int id);

// Callbacks bound to a control run at once when the control's event arrives, before the
// event is queued.
using ControlCallback = void (*)(const Event&);
void bindControlEvent(int control, ControlCallback callback);
void unbindControlEvent(int control, ControlCallback callback);

// ---- Windows ------------------------------------------------------------------------------

enum WindowFlag : int {
    windowCloseBox = 1,
    windowMinimizeBox = 2,
    windowMaximizeBox = 4,
    windowSizeable = 8,
    windowInvisible = 16,
    windowScreenCentered = 32,
    windowParentCentered = 64,
    windowBorderless = 256,  // a notice: no frame, above every window, never active
    windowNoActivate = 512,  // shown without taking the keyboard from the active window
    windowModal = 1024,      // the owner takes no input until the window closes
};

enum WindowStateValue : int { windowNormal = 0, windowMaximized = 512, windowMinimized = 1024 };

// Opens window n with the given inner size. The inner area holds the menu bar (at the top),
// the content and the status bar (at the bottom); control coordinates count from just
// below the menu bar. (x, y) is where the outer frame goes; it, and the centred places, are
// moved inside the desktop. A window with a parent is owned by it: it stays above it and
// takes the keys while it has the focus. Returns false when the window cannot be opened.
bool openWindow(int n, int x, int y, int innerWidth, int innerHeight, const std::string& title,
                int flags, int parent = -1);
void closeWindow(int n);
bool isWindow(int n);
void showWindow(int n, bool show);
// Files dragged onto the window from elsewhere are taken, as eventDropFiles.
void acceptFileDrops(int n, bool accept);
// What a drop on `window` delivers: the files are kept for takeDroppedFiles() and the
// event queued (tests drop files with it as the window would).
void dropFiles(int window, const std::vector<std::string>& files);
// The local files of the last drop, once; empty when they were taken already.
std::vector<std::string> takeDroppedFiles();
bool windowVisible(int n);
void setWindowTitle(int n, const std::string& title);
std::string windowTitle(int n);
void setWindowColour(int n, uint32_t colour);
int getWindowState(int n);
void setWindowState(int n, int state);
// Position of the inner area (true) or of the outer frame (false) on the desktop.
int windowX(int n, bool inner = false);
int windowY(int n, bool inner = false);
int windowWidth(int n, bool inner = true);
int windowHeight(int n, bool inner = true);
// Moves the outer frame to (x, y), or as near as keeps it inside the desktop, and sets the
// inner size.
void resizeWindow(int n, int x, int y, int innerWidth, int innerHeight);
void setWindowMinimumSize(int n, int innerWidth, int innerHeight);
void activateWindow(int n);
// The desktop area windows may use: its top-left corner and size.
int screenX();
int screenY();
int screenWidth();
int screenHeight();
std::string homeDirectory();  // ends with "/"

// ---- Menus --------------------------------------------------------------------------------

// Menus are built in order: create, then titles, items, submenus and separators are added
// to the menu being built.
bool createMenuBar(int n, int window);
bool createPopupMenu(int n);
void menuTitle(const std::string& title);
// The text after a tab is shown at the right of the item as its shortcut label.
void menuItem(int id, const std::string& caption);
void openSubMenu(const std::string& title);
void closeSubMenu();
void menuSeparator();
void setMenuItemChecked(int menu, int id, bool checked);
// Captions are shown as given: an "&" marks the next letter as the item's Alt key, "&&"
// shows an "&".
void setMenuItemText(int menu, int id, const std::string& caption);
std::string menuItemText(int menu, int id);
void showMenuItem(int menu, int id, bool shown);
bool menuItemShown(int menu, int id);
void disableMenuItem(int menu, int id, bool disabled);
bool isMenu(int n);
// A menu number no menu uses (10000 and up), for windows that build their own pop-up.
int freeMenuNumber();
// Frees a pop-up menu (menu bars go with their window).
void freePopupMenu(int n);
bool menuItemChecked(int menu, int id);
int menuBarHeightOf(int n);
// Shows the pop-up menu at (x, y) of `control` (-1: at the mouse pointer); its items then
// post to `window`.
void displayPopupMenu(int n, int window, int control = -1, int x = 0, int y = 0);

// ---- Tool bar -----------------------------------------------------------------------------

enum StandardIcon : int {
    iconNew,
    iconOpen,
    iconSave,
    iconCut,
    iconCopy,
    iconPaste,
    iconPasteNew,
    iconCount,
    iconHelp,
};

bool createToolBar(int n, int window);
void toolBarStandardButton(int id, StandardIcon icon, bool toggle = false);
void toolBarImageButton(int id, int imageNumber, bool toggle = false);
void toolBarSeparator();
void toolBarToolTip(int toolBar, int id, const std::string& text);
void disableToolBarButton(int toolBar, int id, bool disabled);
bool toolBarButtonEnabled(int toolBar, int id);
void setToolBarButtonState(int toolBar, int id, bool pressed);
bool toolBarButtonState(int toolBar, int id);
int toolBarHeightOf(int n);

// ---- Status bar ---------------------------------------------------------------------------

inline constexpr int statusFieldRemaining = -1;  // takes the rest of the width
inline constexpr int statusFieldFitText = -2;    // as wide as its text
bool createStatusBar(int n, int window);
void addStatusBarField(int width);
void setStatusBarText(int n, int field, const std::string& text);
std::string statusBarText(int n, int field);
int statusBarHeightOf(int n);

// ---- Keyboard shortcuts -------------------------------------------------------------------

// `keys` in the usual notation: "Ctrl+L", "Shift+Left", "F1", "Space", "Return".
void addKeyboardShortcut(int window, const std::string& keys, int eventId);
void removeKeyboardShortcut(int window, const std::string& keys);
bool hasKeyboardShortcut(int window, const std::string& keys);

// ---- Controls -----------------------------------------------------------------------------

inline constexpr int anyControlNumber = -1;

enum CursorShape : int {
    cursorDefault = 0,
    cursorCross = 1,
    cursorHand = 3,
    cursorArrows = 6,
};

// Each returns the control's number (the given one, or a free one for -1), 0-based; -1 on
// failure. Controls are placed in window coordinates.
int canvasControl(int n, int x, int y, int w, int h);
int buttonControl(int n, int x, int y, int w, int h, const std::string& text);
int textControl(int n, int x, int y, int w, int h, const std::string& text, bool centred = false);
int stringControl(int n, int x, int y, int w, int h, const std::string& text, bool numeric);
// A read-only text field that reports the keyboard focus it receives (a click into it) as
// controlFocus.
int focusFieldControl(int n, int x, int y, int w, int h, const std::string& text);
int checkBoxControl(int n, int x, int y, int w, int h, const std::string& text);
int optionControl(int n, int x, int y, int w, int h, const std::string& text);
int comboBoxControl(int n, int x, int y, int w, int h);
int spinControl(int n, int x, int y, int w, int h, int minimum, int maximum);
int trackBarControl(int n, int x, int y, int w, int h, int minimum, int maximum);
int frameControl(int n, int x, int y, int w, int h, const std::string& title);
// An image control reports a left press as controlChange, a left release over it as
// controlLeftButtonUp and a right release as controlRightButtonUp, with (x, y) on the
// control. The second click of a double click comes as controlDoubleClick and its release
// is not reported. Moves (controlMouseMove) only with mouse tracking on.
int imageControl(int n, int x, int y, int w, int h, int imageNumber, bool border);
void setControlMouseTracking(int n, bool on);
// A plain box around a group of controls, with or without a border line; it stays behind
// the controls placed over it.
int boxControl(int n, int x, int y, int w, int h, bool border);
int editorControl(int n, int x, int y, int w, int h, bool readOnly);

// New controls go into this window (openWindow selects the window it opens).
void useControlList(int window);
bool isControl(int n);
int controlWindow(int n);
void freeControl(int n);
void resizeControl(int n, int x, int y, int w, int h);
int controlX(int n);
int controlY(int n);
int controlWidth(int n);
int controlHeight(int n);
// The width the control needs to show its caption whole, in the font it has.
int controlPreferredWidth(int n);
// The control's top-left corner on the desktop.
int controlScreenX(int n);
int controlScreenY(int n);
void setControlText(int n, const std::string& text);
std::string controlText(int n);
void setControlState(int n, int state);  // check box, option, track bar, spin, list index
int controlState(int n);
void disableControl(int n, bool disabled);
bool controlEnabled(int n);
void setControlToolTip(int n, const std::string& text);
void setControlColour(int n, uint32_t background);
void setControlTextColour(int n, uint32_t colour);
void setControlFont(int n, int font);
void setActiveControl(int n);
int activeControl();
void addControlItem(int n, const std::string& text);
void setControlItemData(int n, int item, int64_t data);
int64_t controlItemData(int n, int item);
void setControlAttribute(int n, int attribute, int value);  // spin/track bar range
enum ControlAttribute : int { attributeMinimum = 1, attributeMaximum = 2 };
void setImageControlImage(int n, int imageNumber);

// ---- Canvas -------------------------------------------------------------------------------

// The canvas keeps an off-screen buffer in the program's colour layout, one word per device
// pixel; the program draws into it and calls updateCanvas to show the result. Mouse
// positions on the canvas are in the same device pixels.
Image* canvasBuffer(int n);
void updateCanvas(int n);
void setCanvasCursor(int n, int cursor);
int canvasCursor(int n);
int canvasMouseX(int n);
int canvasMouseY(int n);
bool isCanvas(int n);
// Device pixels per window unit where the canvas is shown (2 on a doubled screen): the
// buffer, and so every canvas coordinate, counts device pixels.
double canvasScale(int n);
// The numbered image the program last drew on the canvas (-1: none).
void setCanvasImage(int n, int imageNumber);
int canvasImage(int n);

// ---- Fonts and text -----------------------------------------------------------------------

enum FontStyle : int { fontBold = 1, fontItalic = 2, fontUnderline = 4, fontStrikeOut = 8 };
bool loadFont(int n, const std::string& name, int size, int style);
// A number no loaded font uses (for fonts a module keeps for the run).
int freeFontNumber();
void freeFont(int n);
void setDefaultFont(int n);
int textWidth(int font, const std::string& text);
int textHeight(int font, const std::string& text);
// Draws text without a background, alpha-blended onto the image.
void drawText(Image& target, int x, int y, const std::string& text, int font, uint32_t colour);

// ---- Dialogs ------------------------------------------------------------------------------

enum MessageButtons : int { buttonsOk = 0, buttonsYesNo = 1 };
enum MessageAnswer : int { answerOk = 1, answerYes = 6, answerNo = 7 };

struct FontChoice {
    std::string name;
    int size = 0;
    int style = 0;
    uint32_t colour = 0;
    bool chosen = false;
};

// Every dialog goes through this interface; tests install a scripted one.
class Dialogs {
  public:
    virtual ~Dialogs() = default;
    virtual int messageBox(const std::string& title, const std::string& text, int buttons) = 0;
    // `filters` is "label|pattern|label|pattern..."; `filterIndex` is the preselected filter
    // on entry and the chosen one on return. Returns "" when cancelled.
    virtual std::string openFile(const std::string& title, const std::string& initialPath,
                                 const std::string& filters, int& filterIndex) = 0;
    virtual std::string saveFile(const std::string& title, const std::string& defaultPath,
                                 const std::string& filters, int& filterIndex) = 0;
    // Returns the chosen colour, or -1 when cancelled.
    virtual int64_t colourPicker(uint32_t initial) = 0;
    virtual FontChoice fontPicker(const FontChoice& initial) = 0;
};

Dialogs& dialogs();
void setDialogs(Dialogs* implementation);  // nullptr restores the Qt dialogs

// A dialog implementation answering from scripts, recording what was asked.
class ScriptedDialogs : public Dialogs {
  public:
    struct Message {
        std::string title, text;
        int buttons;
    };
    struct FileRequest {
        std::string title, path, filters;
        int filterIndex;
    };
    std::vector<int> messageAnswers;  // taken from the front; answerOk/answerNo when empty
    struct FileAnswer {
        std::string path;
        int filterIndex;
    };
    std::vector<FileAnswer> fileAnswers;  // for open and save, taken from the front
    std::vector<int64_t> colourAnswers;
    std::vector<uint32_t> colourRequests;  // the initial colour of every picker opened
    std::vector<FontChoice> fontAnswers;

    std::vector<Message> messages;
    std::vector<FileRequest> openRequests, saveRequests;

    int messageBox(const std::string& title, const std::string& text, int buttons) override;
    std::string openFile(const std::string& title, const std::string& initialPath,
                         const std::string& filters, int& filterIndex) override;
    std::string saveFile(const std::string& title, const std::string& defaultPath,
                         const std::string& filters, int& filterIndex) override;
    int64_t colourPicker(uint32_t initial) override;
    FontChoice fontPicker(const FontChoice& initial) override;
};

// ---- Clipboard ----------------------------------------------------------------------------

bool setClipboardImage(const Image& image);
// The clipboard's image as a 32-bit image; empty when it holds none.
Image clipboardImage();

// ---- Toolkit life ---------------------------------------------------------------------------

// Closes every window and frees controls, menus and fonts (images are separate).
void releaseToolkit();
