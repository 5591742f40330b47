#include "app/startup.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "app/files.h"
#include "app/main_window.h"
#include "app/preferences.h"
#include "canvas/add_text_window.h"
#include "core/state.h"
#include "support/test_images.h"
#include "toolkit/gui.h"

namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class StartupTest : public ::testing::Test {
  protected:
    void SetUp() override {
        home = makeTempDir();
        setenv("HOME", home.c_str(), 1);
        setDialogs(&scripted);
        initialiseGlobals();
    }
    void TearDown() override { setDialogs(nullptr); }
    void writePrefs(const std::string& text) {
        std::ofstream(home + "Pixova_ImgageEditor.prefs", std::ios::binary) << text;
    }
    std::string prefsText() { return readAll(home + "Pixova_ImgageEditor.prefs"); }

    std::string home;
    ScriptedDialogs scripted;
};

TEST_F(StartupTest, FirstRunUsesDefaultsAndExitWritesExactlyTwoLines) {
    ASSERT_EQ(openMainWindow(), 1);
    EXPECT_EQ(currentFilePath, home + "Pictures/no_image_loaded");
    EXPECT_EQ(windowState, windowNormal);
    EXPECT_EQ(getWindowState(mainWindow), windowNormal);
    EXPECT_EQ(statusBarText(mainStatusBar, 0), "no_image_loaded  |  (800 x 450)");
    EXPECT_EQ(addTextSettings.textString, "Enter text here.");
    EXPECT_EQ(addTextSettings.textFontName, "Arial");
    EXPECT_EQ(addTextSettings.textFontStyle, "Normal");
    EXPECT_EQ(cursorMode, moverMode);
    EXPECT_EQ(selection.canvasControl, -1);
    EXPECT_EQ(
        saveFilePattern,
        "image.png|*.png|image.jpg|*.jpg|image.jpeg|*.jpeg|image.jpeg2000|*.jp2|image.bmp|*.bmp|"
        "GIF|*.gif|WebP|*.webp|TIFF|*.tif");
    shutdownProgram();
    EXPECT_EQ(prefsText(), "LastPath = " + home + "Pictures/\nLastWindowState = 0\n");
    EXPECT_FALSE(isWindow(mainWindow));
}

TEST_F(StartupTest, MaximizedIsRememberedAndMinimizedIsStoredAsNormal) {
    writePrefs("LastPath = /srv/photos/\nLastWindowState = 512\n");
    ASSERT_EQ(openMainWindow(), 1);
    EXPECT_EQ(windowState, windowMaximized);
    EXPECT_EQ(getWindowState(mainWindow), windowMaximized);
    EXPECT_EQ(currentFilePath, "/srv/photos/no_image_loaded");
    windowState = windowMinimized;
    shutdownProgram();
    EXPECT_EQ(prefsText(), "LastPath = /srv/photos/\nLastWindowState = 0\n");
}

TEST_F(StartupTest, GarbledFileFallsBackToDefaults) {
    writePrefs(std::string("\x89PNG\r\n\x1a\n\0\0garbage", 18) + "\nLastWindowState = banana\n");
    ASSERT_EQ(openMainWindow(), 1);
    EXPECT_EQ(windowState, windowNormal);
    EXPECT_EQ(currentFilePath, home + "Pictures/no_image_loaded");
    shutdownProgram();
    EXPECT_EQ(prefsText(), "LastPath = " + home + "Pictures/\nLastWindowState = 0\n");
}

TEST_F(StartupTest, AnUnknownWindowStateStartsNormal) {
    writePrefs("LastWindowState = 3\n");
    ASSERT_EQ(openMainWindow(), 1);
    EXPECT_EQ(windowState, windowNormal);
    shutdownProgram();
}

TEST_F(StartupTest, LastPathIsTheFolderOfTheCurrentFile) {
    ASSERT_EQ(openMainWindow(), 1);
    currentFilePath = "/data/shots.2024/beach.png";
    shutdownProgram();
    EXPECT_EQ(prefsText(), "LastPath = /data/shots.2024/\nLastWindowState = 0\n");
}

}  // namespace
