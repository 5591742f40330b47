#pragma once
// A running main window on the offscreen platform, with scripted dialogs and a private
// home folder, for tests that drive the program as the user would.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "app/loop.h"
#include "app/main_window.h"
#include "app/preferences.h"
#include "app/startup.h"
#include "core/commands.h"
#include "core/state.h"
#include "support/test_images.h"
#include "toolkit/gui.h"
#include "toolkit/qt_internal.h"

// A mouse event on the main canvas, delivered as Qt delivers it.
inline void canvasMouse(int type, int x, int y) {
    Event e;
    e.kind = eventControl;
    e.window = mainWindow;
    e.object = canvas;
    e.type = type;
    e.x = x;
    e.y = y;
    deliverControlEvent(e);
}

class AppTest : public ::testing::Test {
  protected:
    void SetUp() override {
        home = makeTempDir();
        setenv("HOME", home.c_str(), 1);
        setDialogs(&scripted);
        initialiseGlobals();
        ASSERT_EQ(openMainWindow(), 1);
        drainEvents();
    }

    void TearDown() override {
        shutdownProgram();
        setDialogs(nullptr);
    }

    // Handles every pending event as the main loop would.
    static void drainEvents() {
        for (int guard = 0; guard < 100000; ++guard) {
            Event e = windowEvent();
            if (e.kind == eventNone) return;
            routeEvent(e);
        }
    }

    // Runs a command as the menus would, then handles what it posted.
    static void command(int id) {
        postEvent(eventMenu, 0, id);
        drainEvents();
    }

    // Switches to selector mode and selects the inclusive image rectangle `r` (the image
    // must lie inside the canvas, as after fitWindowToImage of a small image).
    static void selectImageRect(const Rect& r) {
        command(commandSelector);
        selection.active = 1;
        selection.x1 = selection.minX + r.left;
        selection.x2 = selection.minX + r.right;
        selection.y1 = selection.minY + r.top;
        selection.y2 = selection.minY + r.bottom;
    }

    ScriptedDialogs scripted;
    std::string home;
};
