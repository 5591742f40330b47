// What the editor keeps of a file besides its pixels, and the GIF, WebP and TIFF formats in
// the load and save dialogs.

#include <filesystem>
#include <fstream>

#include "app/clipboard_commands.h"
#include "app/files.h"
#include "app/main_window.h"
#include "app/new_image_window.h"
#include "core/commands.h"
#include "core/state.h"
#include "support/app_fixture.h"
#include "toolkit/codecs/codec.h"
#include "toolkit/codecs/gif.h"
#include "toolkit/image_store.h"

namespace fs = std::filesystem;

namespace {

// A little-endian EXIF block: Make "Make1" and Orientation 6 (stored a quarter turned
// counter-clockwise).
const std::vector<uint8_t> phoneBlock = {
    'I',  'I',  42,  0,   8,   0, 0, 0,               // header, directory 0 at 8
    2,    0,                                          // two entries
    0x0F, 0x01, 2,   0,   6,   0, 0, 0, 38, 0, 0, 0,  // Make: 6 ASCII bytes at 38
    0x12, 0x01, 3,   0,   1,   0, 0, 0, 6,  0, 0, 0,  // Orientation: 6
    0,    0,    0,   0,                               // no directory 1
    'M',  'a',  'k', 'e', '1', 0};

// A GIF89a of one black pixel shown twice: an animation of two frames.
const std::vector<uint8_t> twoFrameGif = {
    'G',  'I',  'F',  '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0,    0,    0,    0,    0xFF,
    0xFF, 0xFF, 0x2C, 0,   0,   0,   0, 1, 0, 1, 0,    0, 2,    2,    0x44, 0x01, 0,
    0x2C, 0,    0,    0,   0,   1,   0, 1, 0, 0, 2,    2, 0x44, 0x01, 0,    0x3B};

class FileFormatsTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        dir = makeTempDir();
    }
    void load(const std::string& path) {
        scripted.fileAnswers.push_back({path, 0});
        command(commandLoad);
    }
    void save(const std::string& path, int filter) {
        scripted.fileAnswers.push_back({path, filter});
        command(commandSave);
    }
    // A 4 x 3 picture stored sideways by a phone, at 300 dpi.
    void writePhoneJpeg(const std::string& path) {
        ImageMetadata metadata;
        metadata.exif = phoneBlock;
        metadata.xDpi = metadata.yDpi = 300;
        ASSERT_EQ(writeImageFile(Image(4, 3, 24, 0xFF808080), path, ImageFormat::Jpeg, metadata),
                  "");
    }
    std::string dir;
};

TEST_F(FileFormatsTest, APhonePictureOpensUprightAndKeepsItsMetadataToTheSave) {
    writePhoneJpeg(dir + "phone.jpg");
    load(dir + "phone.jpg");
    ASSERT_EQ(findImage(viewImage)->width, 3);
    EXPECT_EQ(findImage(viewImage)->height, 4);
    EXPECT_EQ(statusBarText(mainStatusBar, 0), "phone.jpg  |  (3 x 4)");
    // An edit in between changes nothing of it.
    command(commandNegative);
    save(dir + "kept", 0);
    DecodeResult back = readImageFile(dir + "kept.png");
    ASSERT_TRUE(back.ok()) << back.error;
    // Upright as saved: the file says Orientation 1, so it is not turned again.
    EXPECT_EQ(back.image.width, 3);
    EXPECT_DOUBLE_EQ(back.metadata.xDpi, 300);
    const std::string block(back.metadata.exif.begin(), back.metadata.exif.end());
    EXPECT_NE(block.find("Make1"), std::string::npos);
}

TEST_F(FileFormatsTest, ANewOrPastedImageHasNoMetadata) {
    writePhoneJpeg(dir + "phone.jpg");
    load(dir + "phone.jpg");
    startNewDocument(20, 20, 0xFFFFFF);
    save(dir + "new", 0);
    DecodeResult back = readImageFile(dir + "new.png");
    ASSERT_TRUE(back.ok()) << back.error;
    EXPECT_TRUE(back.metadata.empty());

    load(dir + "phone.jpg");
    setClipboardImage(Image(20, 20, 24));
    pasteNewImage();
    EXPECT_TRUE(documentMetadata.empty());
}

TEST_F(FileFormatsTest, TheDialogsListGifWebpAndTiffAfterTheFourFormats) {
    load(dir + "nothing.png");  // fails: only the open dialog matters here
    ASSERT_FALSE(scripted.openRequests.empty());
    EXPECT_EQ(scripted.openRequests[0].filters,
              "all supported formats|*.png;*.jpg;*.jpeg;*.jp2;;*.bmp;*.gif;*.webp;*.tif;*.tiff|"
              "*.png|*.png|*.jpg, *.jpeg|*.jpg;*.jpeg|*.jpeg2000|*.jp2|*.bmp|*.bmp|GIF|*.gif|"
              "WebP|*.webp|TIFF|*.tif;*.tiff|all files|*.*");
    save(dir + "x", 1);
    ASSERT_EQ(scripted.saveRequests.size(), 1u);
    EXPECT_EQ(scripted.saveRequests[0].filterIndex, 1);  // JPEG is still preselected
    EXPECT_EQ(scripted.saveRequests[0].filters,
              "image.png|*.png|image.jpg|*.jpg|image.jpeg|*.jpeg|image.jpeg2000|*.jp2|image.bmp|"
              "*.bmp|GIF|*.gif|WebP|*.webp|TIFF|*.tif");
    EXPECT_EQ(savePatternForPath("/p/a.GIF", 0), 5);
    EXPECT_EQ(savePatternForPath("/p/a.webp", 0), 6);
    EXPECT_EQ(savePatternForPath("/p/a.tif", 0), 7);
    EXPECT_EQ(savePatternForPath("/p/a.tiff", 0), 7);
}

TEST_F(FileFormatsTest, EachNewFilterWritesItsFormat) {
    const Image few = imageFromRows(3, 1, {0xFF0000FF, 0xFF00FF00, 0xFFFF0000}, 24);
    storeImage(viewImage, few);
    const std::pair<int, ImageFormat> filters[] = {
        {5, ImageFormat::Gif}, {6, ImageFormat::WebP}, {7, ImageFormat::Tiff}};
    for (const auto& [filter, format] : filters) {
        save(dir + "out.png", filter);  // the filter decides, not the name typed
        const std::string path = dir + "out" + formatExtension(format);
        ASSERT_TRUE(fs::exists(path)) << path;
        DecodeResult back = readImageFile(path);
        ASSERT_TRUE(back.ok()) << back.error;
        EXPECT_EQ(back.image, few) << path;
        EXPECT_EQ(currentFilePath, path);
    }
    EXPECT_FALSE(fs::exists(dir + "out.png"));
}

TEST_F(FileFormatsTest, PartialAlphaInAGifIsAskedAboutAndTheDocumentStays) {
    const Image soft =
        imageFromRows(3, 1, {rgba(10, 20, 30, 255), rgba(10, 20, 30, 127), rgba(40, 50, 60, 128)});
    storeImage(viewImage, soft);
    scripted.messageAnswers = {answerNo};
    save(dir + "soft", 5);
    ASSERT_EQ(scripted.messages.size(), 1u);
    EXPECT_EQ(scripted.messages[0].title, "Save as GIF");
    EXPECT_EQ(scripted.messages[0].text,
              "A GIF cannot hold partial transparency. Save it with pixels below alpha 128 fully "
              "transparent and the rest opaque?");
    EXPECT_FALSE(fs::exists(dir + "soft.gif"));

    scripted.messageAnswers = {answerYes};
    save(dir + "soft", 5);
    DecodeResult back = readImageFile(dir + "soft.gif");
    ASSERT_TRUE(back.ok()) << back.error;
    EXPECT_EQ(back.image, imageFromRows(3, 1, {rgba(10, 20, 30, 255), 0, rgba(40, 50, 60, 255)}));
    EXPECT_EQ(*findImage(viewImage), soft);
}

TEST_F(FileFormatsTest, AGifOfMoreThan256ColorsIsReducedAfterAskingAndTheDocumentStays) {
    // 300 colours and one fully transparent pixel: 301 entries a GIF would need.
    Image many(301, 1, 32);
    for (int x = 0; x < 300; ++x) many.at(x, 0) = rgba(x % 256, x / 256 * 100, 50, 255);
    many.at(300, 0) = 0;
    storeImage(viewImage, many);
    scripted.messageAnswers = {answerNo};
    save(dir + "many", 5);
    ASSERT_EQ(scripted.messages.size(), 1u);
    EXPECT_EQ(scripted.messages[0].title, "Save as GIF");
    EXPECT_EQ(scripted.messages[0].text,
              "The image has 301 colors; a GIF holds 256. Reduce it with Best quality, dithered?");
    EXPECT_FALSE(fs::exists(dir + "many.gif"));

    scripted.messageAnswers = {answerYes};
    save(dir + "many", 5);
    DecodeResult back = readImageFile(dir + "many.gif");
    ASSERT_TRUE(back.ok()) << back.error;
    EXPECT_EQ(gifColourCount(back.image), 256);  // the transparent entry among them
    EXPECT_EQ(back.image.at(300, 0), 0u);        // still transparent
    EXPECT_EQ(alphaOf(back.image.at(0, 0)), 255);
    EXPECT_EQ(*findImage(viewImage), many);
}

TEST_F(FileFormatsTest, AnAnimationSaysOnlyItsFirstFrameIsShown) {
    std::ofstream(dir + "moving.gif", std::ios::binary)
        .write(reinterpret_cast<const char*>(twoFrameGif.data()),
               static_cast<std::streamsize>(twoFrameGif.size()));
    load(dir + "moving.gif");
    ASSERT_EQ(currentFilePath, dir + "moving.gif");
    EXPECT_EQ(*findImage(viewImage), imageFromRows(1, 1, {0xFF000000}, 24));
    EXPECT_EQ(statusBarText(mainStatusBar, selectionStatusField),
              "only the first frame of the animation is shown");
}

}  // namespace
