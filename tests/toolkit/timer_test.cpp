// One-shot window timers: the event they queue, restarting, stopping, and closing the
// window. Timers of 0 ms fire on the next pass of the toolkit, so nothing here waits.

#include <gtest/gtest.h>

#include "toolkit/gui.h"

namespace {

constexpr int timerWindow = 41;
constexpr int otherWindow = 42;

class TimerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        clearEvents();
        ASSERT_TRUE(openWindow(timerWindow, 0, 0, 100, 100, "t", windowInvisible));
        ASSERT_TRUE(openWindow(otherWindow, 0, 0, 100, 100, "u", windowInvisible));
    }
    void TearDown() override {
        closeWindow(timerWindow);
        closeWindow(otherWindow);
        clearEvents();
    }
    // The timer events the toolkit queues over a few passes.
    static std::vector<Event> timerEvents() {
        std::vector<Event> out;
        for (int pass = 0; pass < 5; ++pass) {
            for (Event e = windowEvent(); e.kind != eventNone; e = windowEvent()) {
                if (e.kind == eventTimer) out.push_back(e);
            }
        }
        return out;
    }
};

TEST_F(TimerTest, FiresOnceForItsWindowWithItsId) {
    startWindowTimer(timerWindow, 7, 0);
    EXPECT_TRUE(windowTimerActive(timerWindow, 7));
    EXPECT_FALSE(windowTimerActive(timerWindow, 8));
    EXPECT_FALSE(windowTimerActive(otherWindow, 7));
    std::vector<Event> events = timerEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].window, timerWindow);
    EXPECT_EQ(events[0].object, 7);
    EXPECT_FALSE(windowTimerActive(timerWindow, 7));
    // It can be started again after firing.
    startWindowTimer(timerWindow, 7, 0);
    EXPECT_EQ(timerEvents().size(), 1u);
}

TEST_F(TimerTest, StartingAgainReplacesTheRunningTimer) {
    startWindowTimer(timerWindow, 1, 3600000);
    startWindowTimer(timerWindow, 1, 0);
    startWindowTimer(otherWindow, 1, 0);
    std::vector<Event> events = timerEvents();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_NE(events[0].window, events[1].window);
    EXPECT_FALSE(windowTimerActive(timerWindow, 1));
}

TEST_F(TimerTest, StoppingOrClosingTheWindowCancelsIt) {
    startWindowTimer(timerWindow, 1, 0);
    stopWindowTimer(timerWindow, 1);
    EXPECT_FALSE(windowTimerActive(timerWindow, 1));
    startWindowTimer(otherWindow, 2, 0);
    closeWindow(otherWindow);
    EXPECT_FALSE(windowTimerActive(otherWindow, 2));
    EXPECT_TRUE(timerEvents().empty());
    // A window that is not open gets no timer.
    startWindowTimer(otherWindow, 2, 0);
    EXPECT_FALSE(windowTimerActive(otherWindow, 2));
}

}  // namespace
