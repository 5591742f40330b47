#include "toolkit/prefs.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <fstream>
#include <sstream>

#include "support/test_images.h"

namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(Preferences, MissingFileGivesTheDefaults) {
    Preferences prefs;
    EXPECT_FALSE(prefs.read(makeTempDir() + "none.prefs"));
    EXPECT_EQ(prefs.readString("LastPath", "/home/x/Pictures/"), "/home/x/Pictures/");
    EXPECT_EQ(prefs.readInteger("LastWindowState", 0), 0);
}

TEST(Preferences, WritesKeyEqualsValueLinesAndReadsThemBack) {
    std::string path = makeTempDir() + "p.prefs";
    Preferences out;
    out.writeString("LastPath", "/data/my pictures/");
    out.writeInteger("LastWindowState", 512);
    ASSERT_TRUE(out.write(path));
    EXPECT_EQ(readAll(path), "LastPath = /data/my pictures/\nLastWindowState = 512\n");
    Preferences in;
    ASSERT_TRUE(in.read(path));
    EXPECT_EQ(in.readString("LastPath", ""), "/data/my pictures/");
    EXPECT_EQ(in.readInteger("LastWindowState", 0), 512);
}

TEST(Preferences, GarbledFilesFallBackPerKey) {
    std::string path = makeTempDir() + "bad.prefs";
    {
        std::ofstream f(path, std::ios::binary);
        f << "no equals sign here\n= value without key\r\nLastWindowState = 5x12\n";
        f << std::string(100000, 'z') << "\n";
        f << "LastPath=/x/\r\n";
        f.write("\0\xff\xfe=\x01", 5);
    }
    Preferences prefs;
    ASSERT_TRUE(prefs.read(path));
    EXPECT_EQ(prefs.readInteger("LastWindowState", 7), 7);
    EXPECT_EQ(prefs.readString("LastPath", ""), "/x/");
}

// The longest entry kept survives being written and read twice; one character more is
// neither written nor read.
TEST(Preferences, TheLongestEntryKeptSurvivesRoundTrips) {
    const std::string dir = makeTempDir();
    const std::string longest(65536 - 8, 'p'), tooLong(65536 - 7, 'q');
    Preferences out;
    out.writeString("LastPath", longest);
    out.writeString("Other", "x");
    out.writeString("LastFile", tooLong);
    ASSERT_TRUE(out.write(dir + "a.prefs"));
    Preferences again;
    ASSERT_TRUE(again.read(dir + "a.prefs"));
    ASSERT_TRUE(again.write(dir + "b.prefs"));
    Preferences in;
    ASSERT_TRUE(in.read(dir + "b.prefs"));
    EXPECT_EQ(in.readString("LastPath", ""), longest);
    EXPECT_EQ(in.readString("Other", ""), "x");
    EXPECT_EQ(in.readString("LastFile", "none"), "none");
    // Written by hand without the blanks, and with a carriage return, the same holds.
    {
        std::ofstream f(dir + "c.prefs", std::ios::binary);
        f << "LastPath=" << longest << "\r\nLastFile=" << tooLong << "\n";
    }
    Preferences byHand;
    ASSERT_TRUE(byHand.read(dir + "c.prefs"));
    EXPECT_EQ(byHand.readString("LastPath", ""), longest);
    EXPECT_EQ(byHand.readString("LastFile", "none"), "none");
}

// Only the first mebibyte of a file is read: an entry cut off there is not read at all,
// and the writer leaves out whatever would not fit, so nothing comes back cut short.
TEST(Preferences, NothingComesBackCutShortFromALargeFile) {
    const std::string dir = makeTempDir();
    const std::string big(60000, 'v');
    {
        std::ofstream f(dir + "big.prefs", std::ios::binary);
        for (int i = 0; i < 17; ++i) f << "Key" << i << " = " << big << "\n";
        f << "LastPath = " << big << "\n";  // starts before the mebibyte, ends after it
    }
    Preferences in;
    ASSERT_TRUE(in.read(dir + "big.prefs"));
    EXPECT_EQ(in.readString("Key16", ""), big);
    EXPECT_EQ(in.readString("LastPath", "none"), "none");
    // Written back with more entries than fit, every entry read is whole.
    in.writeString("Key17", big);
    in.writeString("Small", "s");
    ASSERT_TRUE(in.write(dir + "again.prefs"));
    Preferences again;
    ASSERT_TRUE(again.read(dir + "again.prefs"));
    for (int i = 0; i < 18; ++i) {
        const std::string v = again.readString("Key" + std::to_string(i), big);
        EXPECT_EQ(v, big) << i;
    }
    EXPECT_EQ(again.readString("Small", ""), "s");
}

TEST(Preferences, UnwritablePathReportsFailure) {
    std::string dir = makeTempDir();
    { std::ofstream f(dir + "file"); }
    Preferences prefs;
    prefs.writeInteger("A", 1);
    EXPECT_FALSE(prefs.write(dir + "file/inside.prefs"));
}

}  // namespace

namespace {

TEST(Preferences, ValuesWithLineBreaksAreNotWritten) {
    std::string path = makeTempDir() + "p.prefs";
    Preferences out;
    out.writeString("LastPath", "/odd\nname/");
    out.writeInteger("LastWindowState", 0);
    ASSERT_TRUE(out.write(path));
    Preferences in;
    in.read(path);
    EXPECT_EQ(in.readString("LastPath", "default"), "default");
    EXPECT_EQ(in.readInteger("LastWindowState", 9), 0);
}

}  // namespace

namespace {

TEST(Preferences, AWriteThatFailsHalfWayLeavesTheOldFileWhole) {
    const std::string dir = makeTempDir();
    Preferences old;
    old.writeString("LastPath", "/home/user/Pictures/");
    ASSERT_TRUE(old.write(dir + "p.prefs"));
    const std::string before = readAll(dir + "p.prefs");
    // More than the file-size limit lets through: the write stops part of the way.
    int code = runInChild(false, [&] {
        rlimit limit{100, 100};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 3;
        Preferences big;
        big.writeString("LastPath", std::string(500, 'x'));
        return big.write(dir + "p.prefs") ? 1 : 0;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(readAll(dir + "p.prefs"), before);
    EXPECT_EQ(folderEntries(dir), std::vector<std::string>{"p.prefs"});
}

}  // namespace
