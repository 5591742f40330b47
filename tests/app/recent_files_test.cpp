// File > Open Recent and files dropped on the main window: the list's order, duplicates,
// limit, a file that has gone, the preferences round trip, and a drop that opens a file as
// a load does or gives the load's error.

#include "app/recent_files.h"

#include <filesystem>
#include <fstream>

#include "app/files.h"
#include "app/preferences.h"
#include "core/commands.h"
#include "core/state.h"
#include "core/undo.h"
#include "support/app_fixture.h"
#include "toolkit/codecs/codec.h"
#include "toolkit/image_store.h"
#include "toolkit/prefs.h"

namespace {

using List = std::vector<std::string>;

TEST(RecentFileList, NewestFirstWithoutDuplicatesAndAtMostTen) {
    List list;
    list = withRecentFile(list, "/a.png");
    list = withRecentFile(list, "/b.png");
    list = withRecentFile(list, "/c.png");
    EXPECT_EQ(list, (List{"/c.png", "/b.png", "/a.png"}));
    // Opened again, a file moves to the front and is listed once.
    list = withRecentFile(list, "/a.png");
    EXPECT_EQ(list, (List{"/a.png", "/c.png", "/b.png"}));
    const List twelve = {"/n0", "/n1", "/n2", "/n3", "/n4",  "/n5",
                         "/n6", "/n7", "/n8", "/n9", "/n10", "/n11"};
    for (const std::string& name : twelve) list = withRecentFile(list, name);
    ASSERT_EQ(list.size(), 10u);
    EXPECT_EQ(list.front(), "/n11");
    EXPECT_EQ(list.back(), "/n2");  // the two first and a, b, c fell off
    EXPECT_EQ(withoutRecentFile(List{"/x", "/y", "/x"}, "/x"), (List{"/y"}));
}

class RecentFilesTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        dir = makeTempDir();
        for (int i = 0; i < 3; ++i) {
            pictures.push_back(randomImage(30 + i, 20, 40 + i, 24));
            paths.push_back(dir + "p" + std::to_string(i) + ".png");
            ASSERT_EQ(writeImageFile(pictures[i], paths[i], ImageFormat::Png), "");
        }
    }

    void load(const std::string& path) {
        scripted.fileAnswers.push_back({path, 0});
        command(commandLoad);
    }

    static std::vector<std::string> menuShows() {
        std::vector<std::string> shown;
        for (int id = commandRecentFile; id <= commandRecentFileLast; ++id) {
            if (menuItemShown(mainMenuBar, id)) shown.push_back(menuItemText(mainMenuBar, id));
        }
        return shown;
    }

    std::string dir;
    std::vector<Image> pictures;
    std::vector<std::string> paths;
};

TEST_F(RecentFilesTest, LoadsAndSavesAreListedAndAnEntryOpensItsFile) {
    EXPECT_TRUE(menuShows().empty());
    load(paths[0]);
    load(paths[1]);
    load(paths[0]);
    EXPECT_EQ(recentFiles, (List{paths[0], paths[1]}));
    EXPECT_EQ(menuShows(), (List{"1  " + paths[0], "2  " + paths[1]}));
    scripted.fileAnswers.push_back({dir + "saved", 0});
    command(commandSave);
    EXPECT_EQ(recentFiles, (List{dir + "saved.png", paths[0], paths[1]}));

    // The third entry opens p1 exactly as a load does: the document, its name, a fresh
    // history, and it moves to the front.
    command(commandNegative);
    command(commandRecentFile + 2);
    EXPECT_EQ(*findImage(viewImage), pictures[1]);
    EXPECT_EQ(currentFilePath, paths[1]);
    EXPECT_EQ(undoEntryCount(), 1u);
    EXPECT_EQ(recentFiles.front(), paths[1]);
    EXPECT_TRUE(scripted.messages.empty());
}

TEST_F(RecentFilesTest, AMissingFileIsRemovedWithAMessage) {
    load(paths[0]);
    load(paths[1]);
    load(paths[2]);
    std::filesystem::remove(paths[1]);
    const Image before = *findImage(viewImage);
    command(commandRecentFile + 1);
    ASSERT_EQ(scripted.messages.size(), 1u);
    EXPECT_EQ(scripted.messages[0].title, "Open Recent");
    EXPECT_EQ(scripted.messages[0].text,
              paths[1] + " no longer exists. It has been removed from the list.");
    EXPECT_EQ(recentFiles, (List{paths[2], paths[0]}));
    EXPECT_EQ(menuShows(), (List{"1  " + paths[2], "2  " + paths[0]}));
    EXPECT_EQ(*findImage(viewImage), before);
    EXPECT_EQ(currentFilePath, paths[2]);
    // Clear the list empties it.
    command(commandClearRecent);
    EXPECT_TRUE(recentFiles.empty());
    EXPECT_TRUE(menuShows().empty());
}

TEST_F(RecentFilesTest, TheListSurvivesARestartThroughThePreferencesFile) {
    const std::string odd = dir + "Tom & Jerry.png";
    ASSERT_EQ(writeImageFile(pictures[2], odd, ImageFormat::Png), "");
    load(paths[0]);
    load(odd);
    shutdownProgram();
    std::ifstream in(preferencesPath());
    std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(text.find("RecentFile1 = " + odd + "\n"), std::string::npos) << text;
    EXPECT_NE(text.find("RecentFile2 = " + paths[0] + "\n"), std::string::npos) << text;

    recentFiles.clear();
    initialiseGlobals();
    ASSERT_EQ(openMainWindow(), 1);
    EXPECT_EQ(recentFiles, (List{odd, paths[0]}));
    // An "&" in a name is shown, not taken for the item's Alt key.
    EXPECT_EQ(menuItemText(mainMenuBar, commandRecentFile), "1  " + dir + "Tom && Jerry.png");

    // A file listed twice or a gap in the numbers (edited by hand) costs nothing.
    Preferences prefs;
    prefs.writeString("RecentFile1", paths[1]);
    prefs.writeString("RecentFile3", paths[2]);
    prefs.writeString("RecentFile4", paths[1]);
    readRecentFiles(prefs);
    EXPECT_EQ(recentFiles, (List{paths[1], paths[2]}));
}

TEST_F(RecentFilesTest, ADroppedFileOpensAsALoadAndANonImageGivesTheLoadError) {
    command(commandNegative);
    dropFiles(mainWindow, {paths[2]});
    drainEvents();
    EXPECT_EQ(*findImage(viewImage), pictures[2]);
    EXPECT_EQ(currentFilePath, paths[2]);
    EXPECT_EQ(undoEntryCount(), 1u);
    EXPECT_EQ(recentFiles.front(), paths[2]);

    const std::string notes = dir + "notes.txt";
    std::ofstream(notes) << "not a picture\n";
    dropFiles(mainWindow, {notes});
    drainEvents();
    ASSERT_EQ(scripted.messages.size(), 1u);
    EXPECT_EQ(scripted.messages[0].title, "Load image");
    EXPECT_EQ(scripted.messages[0].text.rfind("Could not open notes.txt: ", 0), 0u)
        << scripted.messages[0].text;
    EXPECT_EQ(*findImage(viewImage), pictures[2]);
    EXPECT_EQ(currentFilePath, paths[2]);
    EXPECT_EQ(recentFiles.front(), paths[2]);
}

}  // namespace
