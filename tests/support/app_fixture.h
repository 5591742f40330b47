#pragma once
// A running main window on the offscreen platform, with scripted dialogs and a private
// home folder, for tests that drive the program as the user would.

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

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
    Event e{
        .kind = eventControl, .window = mainWindow, .object = canvas, .type = type, .x = x, .y = y};
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
        setIdleHandler(nullptr);
        setClock(nullptr, nullptr);
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

    // An event of a tool window's control as the toolkit queues it (at x, y of the control
    // for mouse events), then everything it leads to.
    static void controlEvent(int window, int control, int type = controlChange, int x = 0,
                             int y = 0) {
        Event e{.kind = eventControl,
                .window = window,
                .object = control,
                .type = type,
                .x = x,
                .y = y};
        postEvent(e);
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

    // What the user does inside a nested loop (a modal dialog): each step runs the next
    // time the loop waits with nothing queued.
    static void whenIdle(std::vector<std::function<void()>> steps) {
        auto queue =
            std::make_shared<std::deque<std::function<void()>>>(steps.begin(), steps.end());
        setIdleHandler([queue] {
            if (queue->empty()) return;
            std::function<void()> step = std::move(queue->front());
            queue->pop_front();
            step();
        });
    }

    // A control's event, as the toolkit posts it.
    static void postControl(int window, int control, int type = controlChange) {
        Event e{.kind = eventControl, .window = window, .object = control, .type = type};
        postEvent(e);
    }

    // Types `text` into a text field, which posts a change.
    static void typeInto(int window, int control, const std::string& text) {
        setControlText(control, text);
        postControl(window, control);
    }

    ScriptedDialogs scripted;
    std::string home;
};
