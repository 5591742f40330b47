// Load and save through the dialogs, as the user does them.

#include "app/files.h"

#include <filesystem>
#include <fstream>

#include "app/clipboard_commands.h"
#include "app/loop.h"
#include "app/new_image_window.h"
#include "app/startup.h"
#include "app/view.h"
#include "canvas/selector.h"
#include "core/commands.h"
#include "core/state.h"
#include "core/undo.h"
#include "support/app_fixture.h"
#include "toolkit/codecs/codec.h"
#include "toolkit/image_store.h"

namespace fs = std::filesystem;

namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class FilesTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        dir = makeTempDir();
        photo = randomImage(40, 30, 7, 24);
        ASSERT_EQ(writeImageFile(photo, dir + "photo.png", ImageFormat::Png), "");
    }

    void load(const std::string& path, int filter = 0) {
        scripted.fileAnswers.push_back({path, filter});
        command(commandLoad);
    }
    void save(const std::string& path, int filter) {
        scripted.fileAnswers.push_back({path, filter});
        command(commandSave);
    }

    std::string dir;
    Image photo;
};

TEST_F(FilesTest, LoadReplacesTheDocumentAndStartsAFreshHistory) {
    command(commandNegative);  // something to undo on the splash
    command(commandSelector);
    load(dir + "photo.png");
    ASSERT_EQ(scripted.openRequests.size(), 1u);
    EXPECT_EQ(scripted.openRequests[0].title, "Select image to process");
    EXPECT_EQ(scripted.openRequests[0].path, home + "Pictures/");
    EXPECT_EQ(scripted.openRequests[0].filters, openFilePattern);
    EXPECT_EQ(scripted.openRequests[0].filterIndex, 0);
    EXPECT_EQ(*findImage(viewImage), photo);
    EXPECT_EQ(undoEntryCount(), 1u);
    EXPECT_FALSE(toolBarButtonEnabled(mainToolBar, commandUndo));
    EXPECT_FALSE(toolBarButtonEnabled(mainToolBar, commandRedo));
    EXPECT_EQ(cursorMode, moverMode);
    EXPECT_EQ(selection.canvasControl, -1);
    EXPECT_EQ(currentFilePath, dir + "photo.png");
    EXPECT_EQ(baseName, "photo");
    EXPECT_EQ(statusBarText(mainStatusBar, 0), "photo.png  |  (40 x 30)");
    // The next open dialog starts in the folder of the file and on the filter used.
    scripted.fileAnswers.push_back({"", 0});
    command(commandLoad);
    EXPECT_EQ(scripted.openRequests[1].path, dir);
}

TEST_F(FilesTest, AFileThatFailsToDecodeChangesNothing) {
    std::ofstream(dir + "notes.png") << "this is text, not a picture";
    Image before = *findImage(viewImage);
    std::string pathBefore = currentFilePath;
    load(dir + "notes.png", 5);
    ASSERT_EQ(scripted.messages.size(), 1u);
    EXPECT_EQ(scripted.messages[0].title, "Load image");
    EXPECT_EQ(scripted.messages[0].text, "Could not open notes.png: not a supported image");
    EXPECT_EQ(*findImage(viewImage), before);
    EXPECT_EQ(currentFilePath, pathBefore);
    EXPECT_EQ(baseName, "");
    EXPECT_EQ(undoEntryCount(), 1u);
    // The folder stays where it was.
    scripted.fileAnswers.push_back({"", 0});
    command(commandLoad);
    EXPECT_EQ(scripted.openRequests.back().path, home + "Pictures/");

    load(dir + "missing.png");
    EXPECT_EQ(scripted.messages.size(), 2u);
    EXPECT_EQ(*findImage(viewImage), before);
}

TEST_F(FilesTest, ContentDecidesTheFormatNotTheName) {
    ASSERT_EQ(writeImageFile(photo, dir + "really-a-bmp.jpg", ImageFormat::Bmp), "");
    load(dir + "really-a-bmp.jpg", 5);
    EXPECT_EQ(*findImage(viewImage), photo);
}

TEST_F(FilesTest, SaveWritesTheFormatOfTheChosenFilter) {
    load(dir + "photo.png");
    save(dir + "copy.jpg", 0);  // typed .jpg with the PNG filter chosen
    ASSERT_EQ(scripted.saveRequests.size(), 1u);
    EXPECT_EQ(scripted.saveRequests[0].title, "Save image");
    EXPECT_EQ(scripted.saveRequests[0].path, dir + "photo");
    EXPECT_EQ(scripted.saveRequests[0].filterIndex, 0);  // from the loaded file's ".png"
    EXPECT_TRUE(fs::exists(dir + "copy.png"));
    EXPECT_FALSE(fs::exists(dir + "copy.jpg"));
    DecodeResult back = readImageFile(dir + "copy.png");
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(back.image, photo);
    EXPECT_EQ(currentFilePath, dir + "copy.png");
    EXPECT_EQ(statusBarText(mainStatusBar, 0), "copy.png  |  (40 x 30)");

    save(dir + "copy", 1);
    EXPECT_EQ(detectFormat(reinterpret_cast<const uint8_t*>(readAll(dir + "copy.jpg").data()),
                           readAll(dir + "copy.jpg").size()),
              ImageFormat::Jpeg);
    save(dir + "copy", 3);
    EXPECT_TRUE(fs::exists(dir + "copy.jp2"));
    // ".jp2" names no filter: the last one chosen stays preselected.
    save(dir + "copy", 4);
    EXPECT_EQ(scripted.saveRequests.back().filterIndex, 3);
    EXPECT_TRUE(fs::exists(dir + "copy.bmp"));
}

TEST_F(FilesTest, AFolderWithADotKeepsItsName) {
    fs::create_directory(dir + "shots.2024");
    save(dir + "shots.2024/beach", 4);
    EXPECT_TRUE(fs::exists(dir + "shots.2024/beach.bmp"));
    EXPECT_EQ(savePathFor("/a/b.c/name", 0), "/a/b.c/name.png");
    EXPECT_EQ(savePathFor("/a/b.c/name.tar.gz", 2), "/a/b.c/name.tar.jpeg");
}

TEST_F(FilesTest, PreselectedFilterFollowsTheExtension) {
    EXPECT_EQ(savePatternForPath("/x/a.PNG", 1), 0);
    EXPECT_EQ(savePatternForPath("/x/a.jpg", 0), 1);
    EXPECT_EQ(savePatternForPath("/x/a.jpeg", 0), 2);
    EXPECT_EQ(savePatternForPath("/x/a.jpeg2000", 0), 3);
    EXPECT_EQ(savePatternForPath("/x/a.bmp", 0), 4);
    EXPECT_EQ(savePatternForPath("/x/a.jp2", 2), 2);
    EXPECT_EQ(savePatternForPath("/x.y/noext", 2), 2);
    // The first save after start offers JPEG.
    scripted.fileAnswers.push_back({"", 0});
    command(commandSave);
    EXPECT_EQ(scripted.saveRequests[0].filterIndex, 1);
}

TEST_F(FilesTest, OverwriteIsAskedOnceAndNoLeavesTheFile) {
    std::ofstream(dir + "keep.png") << "precious";
    scripted.messageAnswers = {answerNo};
    save(dir + "keep.png", 0);
    ASSERT_EQ(scripted.messages.size(), 1u);
    EXPECT_EQ(scripted.messages[0].title, "File Exists!");
    EXPECT_EQ(scripted.messages[0].text, "Do you wish to overwrite?");
    EXPECT_EQ(scripted.messages[0].buttons, buttonsYesNo);
    EXPECT_EQ(readAll(dir + "keep.png"), "precious");
    EXPECT_NE(currentFilePath, dir + "keep.png");

    scripted.messageAnswers = {answerYes};
    save(dir + "keep.png", 0);
    EXPECT_EQ(scripted.messages.size(), 2u);
    EXPECT_TRUE(readImageFile(dir + "keep.png").ok());
    EXPECT_EQ(currentFilePath, dir + "keep.png");
}

TEST_F(FilesTest, AFailedSaveIsReportedAndNamesNothing) {
    std::ofstream(dir + "plain-file") << "x";
    std::string before = currentFilePath;
    save(dir + "plain-file/out.png", 0);
    ASSERT_EQ(scripted.messages.size(), 1u);
    EXPECT_EQ(scripted.messages[0].title, "Save image");
    EXPECT_EQ(scripted.messages[0].text.rfind("Could not save out.png: ", 0), 0u)
        << scripted.messages[0].text;
    EXPECT_EQ(currentFilePath, before);
    EXPECT_EQ(statusBarText(mainStatusBar, 0), "no_image_loaded  |  (800 x 450)");
}

TEST_F(FilesTest, SavingIgnoresTheSelectionAndKeepsHistory) {
    load(dir + "photo.png");
    command(commandNegative);
    command(commandSelector);
    selection.active = 1;
    selection.x1 = selection.minX;
    selection.x2 = selection.minX + 3;
    selection.y1 = selection.minY;
    selection.y2 = selection.minY + 3;
    save(dir + "whole", 4);
    DecodeResult back = readImageFile(dir + "whole.bmp");
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(back.image.width, 40);
    EXPECT_EQ(back.image.height, 30);
    EXPECT_EQ(undoEntryCount(), 2u);
    EXPECT_EQ(selection.active, 1);
    EXPECT_EQ(baseName, "photo");
}

TEST_F(FilesTest, TheQuitQuestionWarnsOfUnsavedChangesUntilTheyAreSaved) {
    auto askToQuit = [&] {
        scripted.messageAnswers = {answerNo};
        postEvent(eventMenu, mainWindow, commandQuit);
        EXPECT_EQ(loopStep(), 1);
        return scripted.messages.back();
    };
    load(dir + "photo.png");
    ScriptedDialogs::Message asked = askToQuit();
    EXPECT_EQ(asked.title, "End Program");
    EXPECT_EQ(asked.text, "Are you sure?");
    EXPECT_EQ(asked.buttons, buttonsYesNo);

    command(commandNegative);
    EXPECT_EQ(askToQuit().text, "Are you sure? The image has unsaved changes.");
    save(dir + "edited", 0);
    EXPECT_EQ(askToQuit().text, "Are you sure?");
    command(commandUndo);  // the document no longer matches the file
    EXPECT_EQ(askToQuit().text, "Are you sure? The image has unsaved changes.");
    command(commandRedo);
    EXPECT_EQ(askToQuit().text, "Are you sure?");
}

// Load, New image and paste as new each make a document afresh: whatever the old one had
// of selection, zoom, pan, history and metadata is gone.
TEST_F(FilesTest, LoadedNewAndPastedDocumentsStartAlike) {
    ASSERT_EQ(writeImageFile(photo, dir + "again.png", ImageFormat::Png), "");
    const ImageMetadata fileMetadata = readImageFile(dir + "again.png").metadata;
    ASSERT_TRUE(setClipboardImage(photo));
    for (const std::string name : {"load", "new", "paste"}) {
        load(dir + "photo.png");
        documentMetadata.xDpi = documentMetadata.yDpi = 72;
        command(commandNegative);
        command(commandZoomIn);
        ASSERT_FALSE(viewZoom == actualPixels);
        panX = 3;
        command(commandSelector);
        selection.active = 1;
        if (name == "load") load(dir + "again.png");
        if (name == "new") startNewDocument(40, 30, 0x00ff00);
        if (name == "paste") pasteNewImage();
        EXPECT_EQ(findImage(viewImage)->width, 40) << name;
        EXPECT_EQ(cursorMode, moverMode) << name;
        EXPECT_EQ(selection.canvasControl, -1) << name;
        EXPECT_EQ(selection.active, 0) << name;
        EXPECT_TRUE(viewZoom == actualPixels) << name;
        EXPECT_EQ(panX, 0) << name;
        EXPECT_EQ(undoEntryCount(), 1u) << name;
        EXPECT_FALSE(toolBarButtonEnabled(mainToolBar, commandUndo)) << name;
        EXPECT_EQ(documentMetadata, name == "load" ? fileMetadata : ImageMetadata{}) << name;
        EXPECT_EQ(currentFilePath, dir + (name == "load" ? "again.png" : "NewImage")) << name;
        EXPECT_EQ(baseName, name == "load" ? "again" : "NewImage") << name;
    }
}

class CommandLineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        home = makeTempDir();
        setenv("HOME", home.c_str(), 1);
        dir = makeTempDir();
        setDialogs(&scripted);
        clearEvents();
    }
    void TearDown() override { setDialogs(nullptr); }

    // Runs the whole program on `path`, quitting at once; returns the LastPath it stored.
    std::string run(const std::string& path) {
        scripted.messageAnswers.push_back(answerYes);  // to the quit question
        postEvent(eventMenu, mainWindow, commandQuit);
        EXPECT_EQ(runPixova(path), 0);
        std::ifstream in(home + "Pixova_ImgageEditor.prefs");
        std::string line;
        std::getline(in, line);
        return line;
    }

    ScriptedDialogs scripted;
    std::string home, dir;
};

TEST_F(CommandLineTest, AGoodFileOpensAsIfLoadedThroughTheDialog) {
    ASSERT_EQ(writeImageFile(randomImage(30, 20, 3, 24), dir + "start.png", ImageFormat::Png), "");
    EXPECT_EQ(run(dir + "start.png"), "LastPath = " + dir);
    // Only the quit question was asked, and the freshly opened file has no changes.
    ASSERT_EQ(scripted.messages.size(), 1u);
    EXPECT_EQ(scripted.messages[0].text, "Are you sure?");
    EXPECT_TRUE(scripted.openRequests.empty());
}

TEST_F(CommandLineTest, ABadFileShowsTheLoadErrorAndTheSplashStays) {
    std::ofstream(dir + "broken.png") << "not an image";
    scripted.messageAnswers.push_back(answerOk);  // to the load error
    EXPECT_EQ(run(dir + "broken.png"), "LastPath = " + home + "Pictures/");
    ASSERT_EQ(scripted.messages.size(), 2u);
    EXPECT_EQ(scripted.messages[0].title, "Load image");
    EXPECT_EQ(scripted.messages[0].text, "Could not open broken.png: not a supported image");
    EXPECT_EQ(scripted.messages[1].text, "Are you sure?");
}

}  // namespace
