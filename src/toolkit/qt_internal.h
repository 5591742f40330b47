#pragma once
// Qt objects behind the toolkit's numbers, shared by the toolkit's own files and by tests
// that trigger real actions. Program code uses toolkit/gui.h only.

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>
#include <QToolBar>
#include <QWidget>
#include <map>
#include <string>
#include <vector>

#include "toolkit/gui.h"

class PxWindow;

struct WindowRecord {
    PxWindow* widget = nullptr;
    QWidget* content = nullptr;  // controls live here, below the menu bar
    QMenuBar* menuBar = nullptr;
    QWidget* statusBar = nullptr;
    QToolBar* toolBar = nullptr;
    std::map<std::string, QShortcut*> shortcuts;
};

struct MenuRecord {
    int window = -1;
    QMenuBar* bar = nullptr;
    QMenu* popup = nullptr;
    std::multimap<int, QAction*> items;
    std::string mnemonics;  // letters the bar's titles already answer to with Alt
};

struct ToolBarRecord {
    int window = -1;
    QToolBar* bar = nullptr;
    std::map<int, QAction*> buttons;
};

struct StatusBarRecord {
    int window = -1;
    QWidget* bar = nullptr;
    std::vector<QLabel*> fields;
};

struct ControlRecord {
    QWidget* widget = nullptr;
    int window = -1;
    int kind = 0;
    std::vector<ControlCallback> callbacks;
    std::vector<int64_t> itemData;
    int imageNumber = -1;
};

WindowRecord* windowRecord(int n);
MenuRecord* menuRecord(int n);
ToolBarRecord* toolBarRecord(int n);
StatusBarRecord* statusBarRecord(int n);
ControlRecord* controlRecord(int n);

// Delivers a control's event: bound callbacks first, then the queue.
void deliverControlEvent(const Event& event);
// The window number of a toolkit window widget, -1 for others.
int windowNumberOf(const QWidget* widget);
QColor toQColor(uint32_t colour);
QFont* fontObject(int n);
void releaseControls();
void freeControlsOfWindow(int window);
void releaseFonts();
// The folder a file dialog opens in for `folder`: the folder itself, else the nearest folder
// above it that exists, else the home folder.
std::string dialogStartFolder(const std::string& folder);
// The font the font picker starts at for `initial`: the family the name stands for on this
// system (a picker lists real families only), with the size and style.
QFont fontPickerStart(const FontChoice& initial);
