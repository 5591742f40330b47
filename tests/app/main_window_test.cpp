// The main window's menus, tool bar and shortcuts raise the identifiers of their tables;
// triggering the real Qt objects and reading the queued events checks the wiring end to end.

#include <QMenu>
#include <QTest>
#include <algorithm>
#include <map>
#include <set>

#include "app/view.h"
#include "core/commands.h"
#include "core/state.h"
#include "core/undo.h"
#include "support/app_fixture.h"
#include "toolkit/image_store.h"
#include "toolkit/qt_internal.h"

namespace {

struct Item {
    std::string path;  // "Title/Caption" or "Sub.../Caption"
    int id;
};

// A caption as the user reads it: "&File" shows as "File" with the F underlined.
std::string visibleText(const QString& text) {
    std::string out, raw = text.toStdString();
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '&' && i + 1 < raw.size()) ++i;
        out += raw[i];
    }
    return out;
}

void collect(QMenu* menu, const std::string& prefix, std::vector<Item>& out,
             std::map<QAction*, int>& ids) {
    for (QAction* a : menu->actions()) {
        if (a->isSeparator() || !a->isVisible()) continue;  // what the user sees
        std::string caption = a->text().toStdString();
        if (a->menu()) {
            collect(a->menu(), prefix + caption + "/", out, ids);
        } else {
            out.push_back({prefix + caption, ids.count(a) ? ids[a] : -1});
        }
    }
}

// Triggers every leaf action and records the identifier each one posts.
std::vector<Item> triggerAll(QWidget* root, MenuRecord* rec) {
    std::map<QAction*, int> ids;
    clearEvents();
    for (auto& [id, action] : rec->items) {
        action->trigger();
        Event e = windowEvent();
        EXPECT_EQ(e.kind, eventMenu);
        EXPECT_EQ(e.window, mainWindow);
        ids[action] = e.object;
        EXPECT_EQ(e.object, id);
    }
    std::vector<Item> items;
    if (auto* bar = qobject_cast<QMenuBar*>(root)) {
        for (QAction* title : bar->actions()) {
            collect(title->menu(), visibleText(title->text()) + "/", items, ids);
        }
    } else {
        collect(qobject_cast<QMenu*>(root), "", items, ids);
    }
    return items;
}

std::string itemsText(const std::vector<Item>& items) {
    std::string s;
    for (auto& i : items) s += i.path + "=" + std::to_string(i.id) + "\n";
    return s;
}

class MainWindowTest : public AppTest {};

TEST_F(MainWindowTest, WindowTitleAndStatusFields) {
    EXPECT_EQ(windowTitle(mainWindow), "Pixova_ImageEditor 2.0 | 01/12/2016");
    EXPECT_EQ(statusBarText(mainStatusBar, 0), "no_image_loaded  |  (800 x 450)");
    EXPECT_EQ(statusBarText(mainStatusBar, 1), "");
    StatusBarRecord* status = statusBarRecord(mainStatusBar);
    ASSERT_EQ(status->fields.size(), 2u);
    EXPECT_TRUE(windowVisible(mainWindow));
}

TEST_F(MainWindowTest, TheSelectionFieldTakesTheRestAndShowsItsWholeText) {
    StatusBarRecord* status = statusBarRecord(mainStatusBar);
    QLabel* file = status->fields[0];
    QLabel* field = status->fields[1];
    // The file field is as wide as its name; the selection field has what is left.
    EXPECT_EQ(file->width(), file->sizeHint().width());
    EXPECT_GT(field->width(), windowWidth(mainWindow) - file->width() - 20);
    command(commandSelector);
    selection.active = 1;
    selection.x1 = selection.minX;
    selection.y1 = selection.minY;
    selection.x2 = selection.maxX;
    selection.y2 = selection.maxY;
    statusSelectionField();
    std::string text = statusBarText(mainStatusBar, 1);
    ASSERT_NE(text.find("yBottom = 449"), std::string::npos) << text;
    EXPECT_GE(field->width(), field->fontMetrics().horizontalAdvance(field->text()));

    // A longer file name takes more room; the fields never overlap.
    currentFilePath = "/tmp/a-rather-long-photograph-name-from-a-camera.png";
    refreshView(viewImage, 1);
    EXPECT_EQ(file->width(), file->sizeHint().width());
    EXPECT_LE(file->x() + file->width(), field->x());
}

TEST_F(MainWindowTest, MenusOpenFromTheKeyboardWithDistinctLetters) {
    MenuRecord* rec = menuRecord(mainMenuBar);
    std::set<char> letters;
    for (QAction* title : rec->bar->actions()) {
        QString text = title->text();
        ASSERT_EQ(text.count('&'), 1) << text.toStdString();
        QChar letter = text.at(text.indexOf('&') + 1).toLower();
        EXPECT_TRUE(letters.insert(letter.toLatin1()).second) << text.toStdString();
    }
    EXPECT_EQ(letters.size(), 9u);

    QWidget* window = windowRecord(mainWindow)->content->window();
    window->activateWindow();
    QApplication::setActiveWindow(window);
    QTest::keyClick(window, Qt::Key_F10);
    EXPECT_EQ(rec->bar->activeAction(), rec->bar->actions().first());
}

TEST_F(MainWindowTest, MenuBarItemsRaiseTheirIdentifiers) {
    MenuRecord* rec = menuRecord(mainMenuBar);
    ASSERT_NE(rec, nullptr);
    std::vector<Item> items = triggerAll(rec->bar, rec);
    const std::vector<Item> expected = {
        {"File/Load image\tCtrl+L", 10},
        {"File/Open Recent/Clear the list", 79},
        {"File/Save image\tCtrl+S", 12},
        {"File/New image\tCtrl+N", 17},
        {"File/Revert\tCtrl+R", 0},
        {"File/Quit", 29},
        {"Edit/undo\tCtrl+Z", 30},
        {"Edit/redo\tCtrl+Y", 32},
        {"Edit/copy\tCtrl+C", 13},
        {"Edit/crop\tCtrl+X", 5},
        {"Edit/paste.../paste floating section\tCtrl+V", 14},
        {"Edit/paste.../paste new image\tCtrl+I", 15},
        {"Edit/add text\tCtrl+T", 18},
        {"Resize/resize canvas", 31},
        {"Resize/resize image", 34},
        {"Effects/Gaussian Blur", 33},
        {"Effects/Edge detect", 54},
        {"Effects/Pencil", 52},
        {"Effects/Artist", 64},
        {"Effects/Glowie", 57},
        {"Effects/Blush", 60},
        {"Effects/Spacy", 58},
        {"Effects/Spectrum", 61},
        {"Effects/Scratch", 56},
        {"Effects/Noise", 53},
        {"Effects/Phantom", 59},
        {"Effects/Demon", 62},
        {"Effects/Faded", 63},
        {"Effects/X-factor", 55},
        {"Effects/scramble", 50},
        {"Effects/unscramble", 51},
        {"Colors/Quantize...", 41},
        {"Colors/Bright/Contrast...", 11},
        {"Colors/Two Colors...", 8},
        {"Colors/Gray Scale", 6},
        {"Colors/Negative", 3},
        {"Tools/Histogram", 35},
        {"Tools/Palette", 38},
        {"Rotate/Mirror", 2},
        {"Rotate/Flip", 1},
        {"Rotate/Rotate 180", 7},
        {"Rotate/Rotate Right", 4},
        {"Rotate/Rotate Left", 9},
        {"View/Zoom In\tCtrl++", 65},
        {"View/Zoom Out\tCtrl+-", 66},
        {"View/Fit to Window\tCtrl+0", 67},
        {"View/Actual Pixels\tCtrl+1", 68},
        {"View/Fit window to image", 42},
        {"Help/Help\tF1", 28},
    };
    EXPECT_EQ(itemsText(items), itemsText(expected));
    // No separators in the menu bar's menus.
    for (QAction* title : rec->bar->actions()) {
        for (QAction* a : title->menu()->actions()) EXPECT_FALSE(a->isSeparator());
    }
}

TEST_F(MainWindowTest, PopupMenuRaisesTheSameIdentifiers) {
    MenuRecord* rec = menuRecord(mainPopupMenu);
    ASSERT_NE(rec, nullptr);
    rec->window = mainWindow;
    std::vector<Item> items = triggerAll(rec->popup, rec);
    const std::vector<Item> expected = {
        {"File.../load image\tCtrl+L", 10},
        {"File.../save image\tCtrl+S", 12},
        {"File.../new image\tCtrl+N", 17},
        {"File.../Revert", 0},
        {"File.../Quit", 29},
        {"Edit.../undo\tCtrl+Z", 30},
        {"Edit.../redo\tCtrl+Y", 32},
        {"Edit.../copy\tCtrl+C", 13},
        {"Edit.../crop\tCtrl+X", 5},
        {"Edit.../paste.../paste floating section\tCtrl+V", 14},
        {"Edit.../paste.../paste new image\tCtrl+I", 15},
        {"Edit.../add text\tCtrl+T", 18},
        {"Resize.../resize canvas", 31},
        {"Resize.../resize image", 34},
        {"effects.../Gaussian Blur", 33},
        {"effects.../Edge detect", 54},
        {"effects.../Pencil", 52},
        {"effects.../Artist", 64},
        {"effects.../Glowie", 57},
        {"effects.../Blush", 60},
        {"effects.../Spacy", 58},
        {"effects.../Spectrum", 61},
        {"effects.../Scratch", 56},
        {"effects.../Noise", 53},
        {"effects.../Phantom", 59},
        {"effects.../Demon", 62},
        {"effects.../Faded", 63},
        {"effects.../X-factor", 55},
        {"effects.../Scramble", 50},
        {"effects.../Unscramble", 51},
        {"colors.../Quantize...", 41},
        {"colors.../Brightness...", 11},
        {"colors.../Two Colors...", 8},
        {"colors.../Gray Scale", 6},
        {"colors.../Negative", 3},
        {"Rotate.../Mirror", 2},
        {"Rotate.../Flip", 1},
        {"Rotate.../Rotate 180", 7},
        {"Rotate.../Rotate Right", 4},
        {"Rotate.../Rotate Left", 9},
        {"View.../Zoom In\tCtrl++", 65},
        {"View.../Zoom Out\tCtrl+-", 66},
        {"View.../Fit to Window\tCtrl+0", 67},
        {"View.../Actual Pixels\tCtrl+1", 68},
        {"Help\tF1", 28},
    };
    EXPECT_EQ(itemsText(items), itemsText(expected));
    // Separators between the eight groups.
    int separators = 0;
    for (QAction* a : rec->popup->actions()) separators += a->isSeparator() ? 1 : 0;
    EXPECT_EQ(separators, 7);
}

TEST_F(MainWindowTest, ToolBarButtonsInOrderWithTooltips) {
    ToolBarRecord* rec = toolBarRecord(mainToolBar);
    ASSERT_NE(rec, nullptr);
    std::map<QAction*, int> ids;
    for (auto& [id, action] : rec->buttons) ids[action] = id;
    std::string order;
    for (QAction* a : rec->bar->actions()) {
        if (a->isSeparator()) {
            order += "| ";
            continue;
        }
        order += std::to_string(ids[a]) + ":" + a->toolTip().toStdString() +
                 (a->isCheckable() ? "(toggle)" : "") + " ";
    }
    EXPECT_EQ(order,
              "17:new image 10:load image 12:save image | 5:crop to selection "
              "13:copy image/selection 14:paste floating section 15:paste new image | "
              "30:undo change 32:redo change | 39:selector 40:mover | 48:count colors "
              "47:show histogram(toggle) 49:show palette(toggle) | 28:show help window ");
    EXPECT_FALSE(toolBarButtonEnabled(mainToolBar, commandUndo));
    EXPECT_FALSE(toolBarButtonEnabled(mainToolBar, commandRedo));
    clearEvents();
    for (auto& [id, action] : rec->buttons) {
        if (!action->isEnabled()) continue;
        action->trigger();
        Event e = windowEvent();
        EXPECT_EQ(e.kind, eventMenu);
        EXPECT_EQ(e.object, id);
    }
    // The program's six icons are 16 x 16 pictures; undo and redo carry alpha.
    for (int icon = redoIcon; icon <= undoIcon; ++icon) {
        Image* image = findImage(icon);
        ASSERT_NE(image, nullptr) << icon;
        EXPECT_EQ(image->width, 16);
        EXPECT_EQ(image->height, 16);
        EXPECT_EQ(image->depth, (icon == redoIcon || icon == undoIcon) ? 32 : 24);
    }
}

TEST_F(MainWindowTest, ThirtyOneShortcutsRaiseTheirIdentifiers) {
    WindowRecord* w = windowRecord(mainWindow);
    ASSERT_EQ(w->shortcuts.size(), 31u);
    const std::map<std::string, int> expected = {
        {"Left", 20},       {"Right", 21},       {"Up", 22},       {"Down", 23},
        {"Shift+Left", 24}, {"Shift+Right", 25}, {"Shift+Up", 26}, {"Shift+Down", 27},
        {"Ctrl+Left", 44},  {"Ctrl+Right", 43},  {"Ctrl+Up", 45},  {"Ctrl+Down", 46},
        {"F1", 28},         {"Space", 19},       {"Ctrl+I", 15},   {"Ctrl+C", 13},
        {"Ctrl+V", 14},     {"Ctrl+L", 10},      {"Ctrl+S", 12},   {"Ctrl+N", 17},
        {"Ctrl+R", 0},      {"Ctrl+Q", 29},      {"Ctrl+T", 18},   {"Ctrl+Z", 30},
        {"Ctrl+Y", 32},     {"Ctrl+X", 5},       {"Ctrl++", 65},   {"Ctrl+=", 65},
        {"Ctrl+-", 66},     {"Ctrl+0", 67},      {"Ctrl+1", 68},
    };
    clearEvents();
    for (auto& [keys, id] : expected) {
        auto it = w->shortcuts.find(keys);
        ASSERT_NE(it, w->shortcuts.end()) << keys;
        EXPECT_EQ(it->second->key(), QKeySequence(QString::fromStdString(keys))) << keys;
        emit it->second->activated();
        Event e = windowEvent();
        EXPECT_EQ(e.kind, eventMenu) << keys;
        EXPECT_EQ(e.object, id) << keys;
    }
}

TEST_F(MainWindowTest, FirstUndoEntryIsTheSplash) {
    ASSERT_EQ(undoEntryCount(), 1u);
    EXPECT_EQ(undoPosition, 0);
    EXPECT_EQ(undoFlags, 0);
    EXPECT_EQ(undoEntryImage(0), *findImage(viewImage));
}

TEST_F(MainWindowTest, RevertRightAfterStartRestoresTheSplash) {
    Image splash = *findImage(viewImage);
    command(commandNegative);
    EXPECT_NE(*findImage(viewImage), splash);
    command(commandRevert);
    EXPECT_EQ(*findImage(viewImage), splash);
    EXPECT_EQ(undoEntryCount(), 1u);
    EXPECT_FALSE(toolBarButtonEnabled(mainToolBar, commandUndo));
}

TEST_F(MainWindowTest, ClosingAndAnsweringNoKeepsRunning) {
    scripted.messageAnswers = {answerNo};
    postEvent(eventCloseWindow, mainWindow);
    EXPECT_EQ(loopStep(), 1);
    EXPECT_EQ(quitRequested, 0);
    ASSERT_EQ(scripted.messages.size(), 1u);
    EXPECT_EQ(scripted.messages[0].title, "End Program");
    EXPECT_EQ(scripted.messages[0].text, "Are you sure?");
    EXPECT_EQ(scripted.messages[0].buttons, buttonsYesNo);
    EXPECT_TRUE(isWindow(mainWindow));

    scripted.messageAnswers = {answerYes};
    postEvent(eventMenu, mainWindow, commandQuit);
    EXPECT_EQ(loopStep(), 0);
}

TEST_F(MainWindowTest, EventsOfOtherWindowsAreDropped) {
    Image before = *findImage(viewImage);
    postEvent(eventMenu, 42, commandNegative);
    postEvent(eventCloseWindow, 42);
    drainEvents();
    EXPECT_EQ(quitRequested, 0);
    EXPECT_EQ(*findImage(viewImage), before);
}

TEST_F(MainWindowTest, WindowStateEventsAreKept) {
    postEvent(eventMaximizeWindow, mainWindow);
    drainEvents();
    EXPECT_EQ(windowState, windowMaximized);
    postEvent(eventMinimizeWindow, mainWindow);
    drainEvents();
    EXPECT_EQ(windowState, windowMinimized);
    postEvent(eventRestoreWindow, mainWindow);
    drainEvents();
    EXPECT_EQ(windowState, windowNormal);
}

TEST_F(MainWindowTest, SpaceBarTwiceReturnsToMoverAndDropsTheSelection) {
    command(commandToggleCursorMode);
    EXPECT_EQ(cursorMode, selectorMode);
    EXPECT_EQ(canvasCursor(canvas), cursorCross);
    selection.active = 1;
    selection.x1 = selection.minX + 10;
    selection.x2 = selection.minX + 20;
    selection.y1 = selection.minY + 10;
    selection.y2 = selection.minY + 20;
    command(commandToggleCursorMode);
    EXPECT_EQ(cursorMode, moverMode);
    EXPECT_EQ(selection.active, 0);
    EXPECT_EQ(selection.canvasControl, -1);
}

TEST_F(MainWindowTest, CtrlArrowsOutsideAFloatingSectionDoNothing) {
    Image before = *findImage(viewImage);
    for (int id : {commandCtrlLeft, commandCtrlRight, commandCtrlUp, commandCtrlDown}) {
        command(id);
    }
    EXPECT_EQ(*findImage(viewImage), before);
    EXPECT_FALSE(toolBarButtonState(mainToolBar, commandHistogramToggle));
    EXPECT_EQ(undoEntryCount(), 1u);
}

TEST_F(MainWindowTest, AnalysisTogglesPressTheirButtonsAndOpenTheirWindows) {
    command(commandHistogramToggle);
    command(commandPaletteToggle);
    EXPECT_TRUE(toolBarButtonState(mainToolBar, commandHistogramToggle));
    EXPECT_TRUE(toolBarButtonState(mainToolBar, commandPaletteToggle));
    EXPECT_TRUE(isWindow(histogramWindow));
    EXPECT_TRUE(isWindow(paletteWindow));
    EXPECT_EQ(undoEntryCount(), 1u);
}

}  // namespace
