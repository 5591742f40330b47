// Format detection, loading and saving files, and the committed malformed-file set.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "codec_test_util.h"
#include "support/test_images.h"
#include "toolkit/codecs/codec.h"

namespace fs = std::filesystem;

namespace {

ImageFormat detect(std::initializer_list<uint8_t> bytes) {
    std::vector<uint8_t> v(bytes);
    return detectFormat(v.data(), v.size());
}

TEST(DetectFormat, ByFirstBytes) {
    EXPECT_EQ(detect({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0}), ImageFormat::Png);
    EXPECT_EQ(detect({0xFF, 0xD8, 0xFF, 0xE0}), ImageFormat::Jpeg);
    EXPECT_EQ(detect({0, 0, 0, 12, 'j', 'P', ' ', ' ', '\r', '\n', 0x87, '\n'}),
              ImageFormat::Jpeg2000);
    EXPECT_EQ(detect({0xFF, 0x4F, 0xFF, 0x51, 0}), ImageFormat::Jpeg2000);
    EXPECT_EQ(detect({'B', 'M', 0, 0}), ImageFormat::Bmp);
    EXPECT_EQ(detect({'G', 'I', 'F', '8', '7', 'a'}), ImageFormat::Gif);
    EXPECT_EQ(detect({'G', 'I', 'F', '8', '9', 'a'}), ImageFormat::Gif);
    EXPECT_EQ(detect({'R', 'I', 'F', 'F', 9, 0, 0, 0, 'W', 'E', 'B', 'P'}), ImageFormat::WebP);
    EXPECT_EQ(detect({'I', 'I', 42, 0}), ImageFormat::Tiff);
    EXPECT_EQ(detect({'M', 'M', 0, 42}), ImageFormat::Tiff);
    EXPECT_EQ(detect({'I', 'I', 43, 0}), ImageFormat::Tiff);  // big TIFF
    // Near misses and short data.
    EXPECT_EQ(detect({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A}), ImageFormat::Unknown);
    EXPECT_EQ(detect({0xFF, 0xD8}), ImageFormat::Unknown);
    EXPECT_EQ(detect({'B'}), ImageFormat::Unknown);
    EXPECT_EQ(detect({'G', 'I', 'F', '8', '8', 'a'}), ImageFormat::Unknown);
    EXPECT_EQ(detect({'R', 'I', 'F', 'F', 9, 0, 0, 0, 'W', 'A', 'V', 'E'}), ImageFormat::Unknown);
    EXPECT_EQ(detect({'I', 'I', 42}), ImageFormat::Unknown);
    EXPECT_EQ(detect({'I', 'M', 42, 0}), ImageFormat::Unknown);
    EXPECT_EQ(detect({}), ImageFormat::Unknown);
    EXPECT_EQ(detectFormat(nullptr, 10), ImageFormat::Unknown);
}

TEST(DetectFormat, EveryEncoderOutputIsRecognised) {
    Image image = randomImage(4, 4, 1, 24);
    EXPECT_EQ(detectFormat(encodePng(image).bytes.data(), 8), ImageFormat::Png);
    EXPECT_EQ(detectFormat(encodeJpeg(image, 8).bytes.data(), 3), ImageFormat::Jpeg);
    EXPECT_EQ(detectFormat(encodeJpeg2000(image, 3).bytes.data(), 12), ImageFormat::Jpeg2000);
    EXPECT_EQ(detectFormat(encodeBmp(image).bytes.data(), 2), ImageFormat::Bmp);
    EXPECT_EQ(detectFormat(encodeGif(image).bytes.data(), 6), ImageFormat::Gif);
    EXPECT_EQ(detectFormat(encodeWebp(image).bytes.data(), 12), ImageFormat::WebP);
    EXPECT_EQ(detectFormat(encodeTiff(image).bytes.data(), 4), ImageFormat::Tiff);
}

TEST(DecodeImage, AnythingElseIsNotASupportedImage) {
    const std::string ppm = "P6\n1 1\n255\n\x01\x02\x03";
    DecodeResult r = decodeImage(reinterpret_cast<const uint8_t*>(ppm.data()), ppm.size());
    EXPECT_EQ(r.error, "not a supported image");
    EXPECT_TRUE(r.image.empty());
    r = decodeImage(nullptr, 0);
    EXPECT_EQ(r.error, "not a supported image");
}

TEST(FormatFromPath, ExtensionOfTheFilePart) {
    EXPECT_EQ(formatFromPath("a/b/photo.png"), ImageFormat::Png);
    EXPECT_EQ(formatFromPath("photo.JPG"), ImageFormat::Jpeg);
    EXPECT_EQ(formatFromPath("photo.Jpeg"), ImageFormat::Jpeg);
    EXPECT_EQ(formatFromPath("photo.jp2"), ImageFormat::Jpeg2000);
    EXPECT_EQ(formatFromPath("photo.bmp"), ImageFormat::Bmp);
    EXPECT_EQ(formatFromPath("photo.tar.png"), ImageFormat::Png);
    EXPECT_EQ(formatFromPath("photo.gif"), ImageFormat::Gif);
    EXPECT_EQ(formatFromPath("photo.WebP"), ImageFormat::WebP);
    EXPECT_EQ(formatFromPath("scan.tif"), ImageFormat::Tiff);
    EXPECT_EQ(formatFromPath("scan.TIFF"), ImageFormat::Tiff);
    EXPECT_EQ(formatFromPath("photo.png.tga"), ImageFormat::Unknown);
    // A dot in a folder name is not an extension.
    EXPECT_EQ(formatFromPath("my.png/photo"), ImageFormat::Unknown);
    EXPECT_EQ(formatFromPath("photo"), ImageFormat::Unknown);
    EXPECT_EQ(formatFromPath("photo."), ImageFormat::Unknown);
    EXPECT_EQ(formatFromPath(""), ImageFormat::Unknown);
}

TEST(LoadImageFile, OpensByContentWhateverTheName) {
    // good/png_inside.jpg holds a 2 x 1 PNG: (1, 2, 3) and (250, 128, 0).
    DecodeResult r = readImageFile(testDataPath("good/png_inside.jpg"));
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.image, imageFromRows(2, 1, {rgb(1, 2, 3), rgb(250, 128, 0)}, 24));

    std::string dir = makeTempDir();
    Image image = randomImage(5, 3, 8, 32);
    for (ImageFormat f : {ImageFormat::Png, ImageFormat::Bmp}) {
        writeBytes(dir + "misnamed.jpg", encodeImage(image, f).bytes);
        r = readImageFile(dir + "misnamed.jpg");
        ASSERT_TRUE(r.ok()) << r.error;
        EXPECT_EQ(r.image, image);
    }
}

TEST(LoadImageFile, ReportsTheSystemReason) {
    std::string dir = makeTempDir();
    EXPECT_EQ(readImageFile(dir + "missing.png").error, "No such file or directory");
    EXPECT_EQ(readImageFile(dir).error, "Is a directory");
    writeBytes(dir + "notes.png", {'h', 'e', 'l', 'l', 'o'});
    EXPECT_EQ(readImageFile(dir + "notes.png").error, "not a supported image");
}

// The committed malformed set: every file is refused, with no image.
TEST(BadFiles, EveryFileIsAnError) {
    std::vector<std::string> files = dataFiles("bad");
    ASSERT_GE(files.size(), 30u);
    for (const std::string& path : files) {
        DecodeResult r = readImageFile(path);
        EXPECT_FALSE(r.ok()) << path;
        EXPECT_FALSE(r.error.empty()) << path;
        EXPECT_TRUE(r.image.empty()) << path;
    }
}

long peakResidentKilobytes() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

TEST(BadFiles, NoneMakesTheDecodersTouchMuchMemory) {
    // The peak resident size only grows when memory is really used, as zero-filled
    // buffers and image pixels are; these files declare gigabytes.
    constexpr long allowedGrowthKilobytes = 64 * 1024;
    long before = peakResidentKilobytes();
    for (const char* folder : {"bad", "corpus/png/crashers", "corpus/bmp/b"}) {
        for (const std::string& path : dataFiles(folder)) readImageFile(path);
    }
    EXPECT_LT(peakResidentKilobytes() - before, allowedGrowthKilobytes);
}

TEST(BadFiles, SizeErrorsNameTheSize) {
    const std::pair<const char*, const char*> cases[] = {
        {"png_100000x100000.png", "100000 x 100000"},
        {"jp2_100000x100000.jp2", "100000 x 100000"},
        {"jpeg_65535x65535.jpg", "65535 x 65535"},
        {"bmp_negative_width.bmp", "-4 x 2"},
        {"bmp_zero_height.bmp", "4 x 0"},
        {"bmp_2147483647_square.bmp", "2147483647 x 2147483647"},
        {"gif_65535x65535.gif", "65535 x 65535"},
        {"webp_100000x100000.webp", "100000 x 100000"},
        {"tiff_100000x100000.tif", "100000 x 100000"},
    };
    for (const auto& [file, size] : cases) {
        DecodeResult r = readImageFile(testDataPath(std::string("bad/") + file));
        EXPECT_NE(r.error.find(size), std::string::npos) << file << ": " << r.error;
    }
}

TEST(GoodFiles, EveryFileDecodes) {
    for (const std::string& path : dataFiles("good")) {
        DecodeResult r = readImageFile(path);
        EXPECT_TRUE(r.ok()) << path << ": " << r.error;
    }
}

// --- Saving -------------------------------------------------------------------------------

TEST(SaveImageFile, WritesEachFormatAndLeavesNoTemporaryFile) {
    std::string dir = makeTempDir();
    Image image = randomImage(6, 5, 4, 32);
    const std::pair<ImageFormat, const char*> targets[] = {{ImageFormat::Png, "a.png"},
                                                           {ImageFormat::Jpeg, "a.jpg"},
                                                           {ImageFormat::Jpeg2000, "a.jp2"},
                                                           {ImageFormat::Bmp, "a.bmp"}};
    for (const auto& [format, name] : targets) {
        ASSERT_EQ(writeImageFile(image, dir + name, format), "") << name;
        DecodeResult r = readImageFile(dir + name);
        ASSERT_TRUE(r.ok()) << name << ": " << r.error;
        EXPECT_EQ(detectFormat(readBytes(dir + name).data(), 12), format) << name;
    }
    EXPECT_EQ(folderEntries(dir), (std::vector<std::string>{"a.bmp", "a.jp2", "a.jpg", "a.png"}));
    // The saved PNG and BMP hold the image exactly.
    EXPECT_EQ(readImageFile(dir + "a.png").image, image);
    EXPECT_EQ(readImageFile(dir + "a.bmp").image, image);
}

TEST(SaveImageFile, ReplacesAnExistingFileKeepingItsPermissions) {
    std::string dir = makeTempDir();
    std::string path = dir + "old.png";
    writeBytes(path, {'o', 'l', 'd'});
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    Image image = randomImage(3, 3, 2, 24);
    ASSERT_EQ(writeImageFile(image, path, ImageFormat::Png), "");
    EXPECT_EQ(readImageFile(path).image, image);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(folderEntries(dir), std::vector<std::string>{"old.png"});
}

TEST(SaveImageFile, FailuresReportTheReasonAndKeepTheOldFile) {
    std::string dir = makeTempDir();
    Image image = randomImage(3, 3, 2, 24);
    const std::vector<uint8_t> old = {'k', 'e', 'e', 'p'};

    EXPECT_EQ(writeImageFile(image, dir + "no/such/folder/x.png", ImageFormat::Png),
              "No such file or directory");
    // A path whose parent is a regular file (fails even for root).
    writeBytes(dir + "plain", old);
    EXPECT_EQ(writeImageFile(image, dir + "plain/x.png", ImageFormat::Png), "Not a directory");
    EXPECT_EQ(readBytes(dir + "plain"), old);

    // An image the encoder refuses: the target is not touched.
    writeBytes(dir + "target.png", old);
    EXPECT_NE(writeImageFile(Image(), dir + "target.png", ImageFormat::Png), "");
    EXPECT_NE(writeImageFile(image, dir + "target.png", ImageFormat::Unknown), "");
    EXPECT_EQ(readBytes(dir + "target.png"), old);

    // A folder in the way: the rename fails and the temporary file is removed.
    fs::create_directory(dir + "folder.png");
    EXPECT_NE(writeImageFile(image, dir + "folder.png", ImageFormat::Png), "");
    EXPECT_TRUE(fs::is_directory(dir + "folder.png"));

    EXPECT_EQ(folderEntries(dir), (std::vector<std::string>{"folder.png", "plain", "target.png"}));
}

TEST(SaveImageFile, ReadOnlyFolderOverwritesOnlyAWritableFileInPlace) {
    std::string dir = makeTempDir();
    // Longer than the new file, so a missing truncation would show.
    std::vector<uint8_t> old(5000, 'o');
    writeBytes(dir + "open.png", old);
    writeBytes(dir + "locked.png", old);
    ASSERT_EQ(::chmod((dir + "open.png").c_str(), 0666), 0);
    ASSERT_EQ(::chmod((dir + "locked.png").c_str(), 0644), 0);
    ASSERT_EQ(::chmod(dir.c_str(), 0555), 0);
    Image image = randomImage(2, 2, 1, 24);
    // Whoever runs the tests, the child is a user that owns neither file nor folder, or
    // the owner of both when not root; the locked file is made read-only for that case.
    if (::geteuid() != 0) ::chmod((dir + "locked.png").c_str(), 0444);
    int code = runInChild(true, [&] {
        if (writeImageFile(image, dir + "open.png", ImageFormat::Png) != "") return 1;
        if (writeImageFile(image, dir + "locked.png", ImageFormat::Png) != "Permission denied") {
            return 2;
        }
        if (writeImageFile(image, dir + "new.png", ImageFormat::Png) != "Permission denied") {
            return 3;
        }
        return 0;
    });
    EXPECT_EQ(code, 0) << "1: in place, 2: read-only file, 3: new file, 125: no ordinary user";
    ::chmod(dir.c_str(), 0755);
    EXPECT_EQ(readImageFile(dir + "open.png").image, image);
    EXPECT_EQ(readBytes(dir + "locked.png"), old);
    EXPECT_EQ(folderEntries(dir), (std::vector<std::string>{"locked.png", "open.png"}));
}

TEST(SaveImageFile, FileSizeLimitFailsTheSaveWithoutKillingTheProgram) {
    std::string dir = makeTempDir();
    const std::vector<uint8_t> old = {'o', 'l', 'd'};
    writeBytes(dir + "x.bmp", old);
    Image image = randomImage(64, 64, 3, 24);  // a 12 KiB BMP
    // Without SIGXFSZ ignored, the write past the limit would end the child by that signal.
    int code = runInChild(false, [&] {
        rlimit limit{4096, 4096};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 3;
        std::string error = writeImageFile(image, dir + "x.bmp", ImageFormat::Bmp);
        return error == "File too large" ? 0 : 1;
    });
    EXPECT_EQ(code, 0) << "-1: killed by a signal, 1: wrong message";
    EXPECT_EQ(readBytes(dir + "x.bmp"), old);
    EXPECT_EQ(folderEntries(dir), std::vector<std::string>{"x.bmp"});
}

TEST(SaveImageFile, InPlaceWriteThatCannotFitLeavesTheFileAndSaysWhy) {
    std::string dir = makeTempDir();
    const std::vector<uint8_t> old(100, 'o');
    writeBytes(dir + "x.bmp", old);
    ASSERT_EQ(::chmod((dir + "x.bmp").c_str(), 0666), 0);
    ASSERT_EQ(::chmod(dir.c_str(), 0555), 0);
    Image image = randomImage(64, 64, 3, 24);
    int code = runInChild(true, [&] {
        rlimit limit{4096, 4096};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 3;
        std::string error = writeImageFile(image, dir + "x.bmp", ImageFormat::Bmp);
        bool named = error.rfind("File too large (", 0) == 0;
        bool unchanged = error.find("in place; it is unchanged") != std::string::npos;
        return named && unchanged ? 0 : 1;
    });
    EXPECT_EQ(code, 0);
    ::chmod(dir.c_str(), 0755);
    EXPECT_EQ(readBytes(dir + "x.bmp"), old);
    EXPECT_EQ(folderEntries(dir), std::vector<std::string>{"x.bmp"});
}

}  // namespace

namespace {

// Damaged copies of good files (bytes overwritten at random, deterministically) must
// decode or fail cleanly; run under the sanitizers this shakes out reads past the end.
TEST(DamagedFiles, RandomByteChangesNeverCrash) {
    constexpr int copiesPerFile = 150;
    const Image picture = smoothImage(40, 30, 32);
    std::vector<std::vector<uint8_t>> originals = {
        encodePng(picture).bytes,
        encodeJpeg(picture, 8).bytes,
        encodeJpeg2000(picture, 3).bytes,
        encodeBmp(picture).bytes,
        readBytes(testDataPath("corpus/bmp/g/pal4rle.bmp")),
        readBytes(testDataPath("corpus/bmp/g/pal8rle.bmp")),
        readBytes(testDataPath("corpus/jpeg/testimgint.jpg"))};
    std::mt19937 rng(2024);
    int decoded = 0, refused = 0;
    for (const std::vector<uint8_t>& original : originals) {
        for (int copy = 0; copy < copiesPerFile; ++copy) {
            std::vector<uint8_t> bytes = original;
            int changes = 1 + static_cast<int>(rng() % 4);
            for (int i = 0; i < changes; ++i) {
                // Keep the signature so the same decoder is exercised.
                size_t at = 2 + rng() % (bytes.size() - 2);
                bytes[at] = static_cast<uint8_t>(rng());
            }
            DecodeResult r = decodeImage(bytes.data(), bytes.size());
            if (r.ok()) {
                ++decoded;
                ASSERT_EQ(r.image.pixels.size(), size_t(r.image.width) * r.image.height);
            } else {
                ++refused;
                ASSERT_TRUE(r.image.empty());
            }
        }
    }
    // Both outcomes occur: the test reaches past the header checks.
    EXPECT_GT(decoded, 0);
    EXPECT_GT(refused, 0);
}

}  // namespace
