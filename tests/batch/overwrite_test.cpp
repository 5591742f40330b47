// pixova-batch replaces nothing it was not told to replace, writes whole files or none,
// and speaks the usual forms of command-line tools (-o, --ext, '-', --opt=value, --).

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "adjust/colour_ops.h"
#include "batch/batch.h"
#include "support/batch_run.h"
#include "support/test_images.h"
#include "toolkit/codecs/codec.h"
#include "toolkit/parallel.h"

namespace fs = std::filesystem;

namespace {

class OverwriteTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = makeTempDir();
        first = randomImage(24, 16, 7, 24);
        second = randomImage(20, 12, 8, 24);
        ASSERT_EQ(writeImageFile(first, dir + "a.png", ImageFormat::Png), "");
        ASSERT_EQ(writeImageFile(second, dir + "b.png", ImageFormat::Png), "");
        aBytes = readBytes(dir + "a.png");
        bBytes = readBytes(dir + "b.png");
    }
    Image read(const std::string& name) { return readImageFile(dir + name).image; }
    static Image gray(Image image) {
        grayScalePixels(image, wholeImage(image));
        return image;
    }

    std::string dir;
    Image first, second;
    std::vector<uint8_t> aBytes, bBytes;
};

TEST_F(OverwriteTest, TheTwoFileGlobLeavesTheSecondPhotographAlone) {
    // What "pixova-batch --quantize adaptive --limit 16 *.png" expands to.
    BatchRun r = batch({"--quantize", "adaptive", "--limit", "16", dir + "a.png", dir + "b.png"});
    EXPECT_EQ(r.code, batchFileError);
    EXPECT_EQ(readBytes(dir + "b.png"), bBytes);
    EXPECT_NE(r.err.find(dir + "b.png: already exists; not replaced (use --force"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("--out-dir or --ext"), std::string::npos) << r.err;
    EXPECT_EQ(folderEntries(dir), (std::vector<std::string>{"a.png", "b.png"}));
}

TEST_F(OverwriteTest, TheInputItselfIsRefusedByAnyPathUnlessForced) {
    fs::create_symlink(dir + "a.png", dir + "link.png");
    fs::create_hard_link(dir + "a.png", dir + "hard.png");
    fs::create_directory(dir + "sub");
    for (const std::string& output :
         {dir + "a.png", dir + "link.png", dir + "hard.png", dir + "sub/../a.png"}) {
        BatchRun r = batch({dir + "a.png", "--gray", output});
        EXPECT_EQ(r.code, batchFileError) << output;
        EXPECT_NE(r.err.find("is the INPUT itself; not replaced (use --force"), std::string::npos)
            << output << ": " << r.err;
        EXPECT_EQ(readBytes(dir + "a.png"), aBytes) << output;
    }
    // Told to, the file is replaced in place.
    BatchRun r = batch({dir + "a.png", "--gray", "--force", dir + "a.png"});
    ASSERT_EQ(r.code, batchOk) << r.err;
    EXPECT_EQ(read("a.png"), gray(first));
}

TEST_F(OverwriteTest, OutDirOntoTheInputsFolderOrAFullOneReplacesNothing) {
    BatchRun r = batch({dir + "a.png", dir + "b.png", "--negative", "--out-dir", dir});
    EXPECT_EQ(r.code, batchFileError);
    EXPECT_NE(r.err.find("0 of 2 files done, 2 failed"), std::string::npos) << r.err;
    EXPECT_EQ(readBytes(dir + "a.png"), aBytes);
    EXPECT_EQ(readBytes(dir + "b.png"), bBytes);

    // A rerun into a folder the first run filled.
    const std::string out = dir + "out/";
    ASSERT_EQ(batch({dir + "a.png", dir + "b.png", "--gray", "--out-dir", out}).code, batchOk);
    const std::vector<uint8_t> written = readBytes(out + "a.png");
    r = batch({dir + "a.png", dir + "b.png", "--negative", "--out-dir", out});
    EXPECT_EQ(r.code, batchFileError);
    EXPECT_NE(r.err.find(out + "a.png: already exists"), std::string::npos) << r.err;
    EXPECT_EQ(readBytes(out + "a.png"), written);
    r = batch({dir + "a.png", dir + "b.png", "--negative", "--out-dir", out, "-f", "-q"});
    EXPECT_EQ(r.code, batchOk) << r.err;
    EXPECT_EQ(r.err, "");  // quiet: not even the summary
    EXPECT_NE(readBytes(out + "a.png"), written);
}

TEST_F(OverwriteTest, AnExistingOutputIsKeptThenReplacedWhenForced) {
    BatchRun r = batch({dir + "a.png", "--negative", "-o", dir + "b.png"});
    EXPECT_EQ(r.code, batchFileError);
    EXPECT_EQ(readBytes(dir + "b.png"), bBytes);
    r = batch({dir + "a.png", "--negative", "--output=" + dir + "b.png", "--force"});
    ASSERT_EQ(r.code, batchOk) << r.err;
    Image negated = first;
    negativePixels(negated, wholeImage(negated));
    EXPECT_EQ(read("b.png"), negated);
    EXPECT_EQ(folderEntries(dir), (std::vector<std::string>{"a.png", "b.png"}));
}

TEST_F(OverwriteTest, AnOutputThatIsAnotherInputIsRefusedEvenWhenForced) {
    BatchRun r = batch({dir + "a.png", dir + "b.png", "-f", "--gray", "--ext", ".png"});
    EXPECT_EQ(r.code, batchOk) << r.err;  // each onto itself: allowed with --force
    // a.png would become a-x.png, which is read as the second input.
    ASSERT_EQ(writeImageFile(second, dir + "a-x.png", ImageFormat::Png), "");
    const std::vector<uint8_t> before = readBytes(dir + "a-x.png");
    r = batch({dir + "a.png", dir + "a-x.png", "-f", "--negative", "--ext", "-x.png"});
    EXPECT_EQ(r.code, batchUsageError);
    EXPECT_NE(r.err.find("another INPUT"), std::string::npos) << r.err;
    EXPECT_EQ(readBytes(dir + "a-x.png"), before);
}

TEST_F(OverwriteTest, AForcedWriteThatFailsLeavesTheOldFileWholeAndNoTemporaryFile) {
    // A step that fails on this image, after it was read.
    BatchRun r = batch({dir + "a.png", "-f", "--select", "0,0,99,99", "--gray", dir + "b.png"});
    EXPECT_EQ(r.code, batchUsageError);
    EXPECT_EQ(readBytes(dir + "b.png"), bBytes);
    // A temporary file that cannot be written whole: the file-size limit stops it.
    Image large = randomImage(64, 64, 9, 24);  // a 12 KiB BMP
    ASSERT_EQ(writeImageFile(large, dir + "large.bmp", ImageFormat::Bmp), "");
    writeBytes(dir + "b.bmp", bBytes);
    int code = runInChild(false, [&] {
        rlimit limit{4096, 4096};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 3;
        BatchRun inChild = batch({dir + "large.bmp", "--force", "--negative", dir + "b.bmp"});
        if (inChild.code != batchFileError) return 1;
        return inChild.err.find(dir + "b.bmp: File too large") != std::string::npos ? 0 : 2;
    });
    EXPECT_EQ(code, 0) << "1: wrong exit code, 2: wrong message";
    EXPECT_EQ(readBytes(dir + "b.bmp"), bBytes);
    EXPECT_EQ(folderEntries(dir),
              (std::vector<std::string>{"a.png", "b.bmp", "b.png", "large.bmp"}));
}

TEST_F(OverwriteTest, ExtWritesBesideEachInputInTheFormatItsSuffixNames) {
    fs::create_directory(dir + "sub");
    ASSERT_EQ(writeImageFile(second, dir + "sub/photo.jpg", ImageFormat::Jpeg), "");
    Image photo = read("sub/photo.jpg");
    BatchRun r = batch({dir + "a.png", dir + "sub/photo.jpg", "--gray", "--ext", "-g.bmp"});
    ASSERT_EQ(r.code, batchOk) << r.err;
    EXPECT_EQ(read("a-g.bmp"), gray(first));
    EXPECT_EQ(read("sub/photo-g.bmp"), gray(photo));
    EXPECT_EQ(detectFormat(readBytes(dir + "a-g.bmp").data(), 2), ImageFormat::Bmp);
    // The suffix must name a format.
    r = batch({dir + "a.png", "--gray", "--ext", "-g"});
    EXPECT_EQ(r.code, batchUsageError);
    EXPECT_FALSE(fs::exists(dir + "a-g"));
}

TEST_F(OverwriteTest, StandardInputToStandardOutputEqualsFileToFile) {
    ASSERT_EQ(batch({dir + "a.png", "--mirror", "--gray", dir + "file.png"}).code, batchOk);
    std::ifstream file(dir + "a.png", std::ios::binary);
    std::ostringstream out, err;
    int code = runBatch({"-", "--mirror", "--gray", "-o", "-"}, out, err, false, &file);
    ASSERT_EQ(code, batchOk) << err.str();
    const std::string piped = out.str();
    EXPECT_EQ(std::vector<uint8_t>(piped.begin(), piped.end()), readBytes(dir + "file.png"));
    // --format names the format of standard output.
    std::istringstream again(std::string(aBytes.begin(), aBytes.end()));
    std::ostringstream bmp;
    ASSERT_EQ(runBatch({"-", "--gray", "-o", "-", "--format=bmp"}, bmp, err, false, &again),
              batchOk);
    DecodeResult decoded =
        decodeImage(reinterpret_cast<const uint8_t*>(bmp.str().data()), bmp.str().size());
    ASSERT_TRUE(decoded.ok()) << decoded.error;
    EXPECT_EQ(detectFormat(reinterpret_cast<const uint8_t*>(bmp.str().data()), 2),
              ImageFormat::Bmp);
    EXPECT_EQ(decoded.image, gray(first));
    // The real program's streams, through a shell pipe.
    const std::string command =
        std::string(PIXOVA_BATCH_EXE) + " - --gray -o - < " + dir + "a.png > " + dir + "piped.png";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(read("piped.png"), gray(first));
}

TEST_F(OverwriteTest, StreamsThatCannotWorkAreUsageErrors) {
    for (const std::vector<std::string>& args : {
             std::vector<std::string>{"-", "-", "--gray", "-o", dir + "x.png"},
             {"-", "--gray", "--out-dir", dir + "o"},
             {"-", "--gray", "--ext", "-x.png"},
             {dir + "a.png", "--count", "-o", "-"},  // the count would land in the image
             {dir + "a.png", "--gray", "-o", dir + "x.png", "--out-dir", dir + "o"},
             {dir + "a.png", dir + "b.png", "--gray", "-o", dir + "x.png"},
             {dir + "a.png", "--gray", "--format", "bmp", "-o", dir + "x.png"},
         }) {
        BatchRun r = batch(args);
        EXPECT_EQ(r.code, batchUsageError) << args[args.size() - 2] << " " << args.back();
    }
    EXPECT_FALSE(fs::exists(dir + "x.png"));
    EXPECT_FALSE(fs::exists(dir + "o"));
}

TEST_F(OverwriteTest, InlineValuesAndTheEndOfOptions) {
    // An input whose name starts with a hyphen, after "--".
    ASSERT_EQ(writeImageFile(first, dir + "-dash.png", ImageFormat::Png), "");
    ASSERT_EQ(::chdir(dir.c_str()), 0);
    BatchRun r = batch(
        {"--select=0,0,3,3", "--quantize=popularity", "--limit=2", "--count", "--", "-dash.png"});
    EXPECT_EQ(r.code, batchOk) << r.err;
    EXPECT_EQ(r.out, "2\n");
    r = batch({"--negative=yes", "a.png", "x.png"});
    EXPECT_EQ(r.code, batchUsageError);
    EXPECT_NE(r.err.find("--negative takes no value"), std::string::npos) << r.err;
    EXPECT_EQ(batch({"-V"}).code, batchOk);
    EXPECT_EQ(batch({"-h"}).out, batch({"--help"}).out);
}

TEST_F(OverwriteTest, SkipIfLargerWritesNothingAndExitsNinetyEightUnlessAFileFailed) {
    // A flat picture is a few bytes as a PNG and 12 KiB as a BMP.
    Image flat(64, 64, 24, rgb(1, 2, 3));
    ASSERT_EQ(writeImageFile(flat, dir + "flat.png", ImageFormat::Png), "");
    ASSERT_EQ(writeImageFile(flat, dir + "flat.bmp", ImageFormat::Bmp), "");
    BatchRun r = batch({dir + "flat.png", "--skip-if-larger", "--gray", dir + "grown.bmp"});
    EXPECT_EQ(r.code, batchSkippedLarger);
    EXPECT_NE(r.err.find(dir + "grown.bmp: not written: its "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(" bytes would be larger than the input's "), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir + "grown.bmp"));
    r = batch({dir + "flat.bmp", "--skip-if-larger", "--gray", dir + "small.png"});
    EXPECT_EQ(r.code, batchOk) << r.err;
    EXPECT_TRUE(fs::exists(dir + "small.png"));
    // Many files: 98 when skipping is all, 1 once another file fails.
    std::ofstream(dir + "broken.png") << "no picture";
    r = batch({dir + "flat.png", dir + "a.png", "--skip-if-larger", "--gray", "--out-dir",
               dir + "o", "--format", "png"});
    EXPECT_EQ(r.code, batchOk) << r.err;
    // The same size is not larger: a BMP read and written again stays.
    ASSERT_EQ(writeImageFile(second, dir + "same.bmp", ImageFormat::Bmp), "");
    r = batch({dir + "flat.png", dir + "same.bmp", "--skip-if-larger", "--out-dir", dir + "p",
               "--format", "bmp"});
    EXPECT_EQ(r.code, batchSkippedLarger) << r.err;
    EXPECT_NE(r.err.find("1 of 2 files done, 1 not written (larger than the input)"),
              std::string::npos)
        << r.err;
    r = batch({dir + "flat.png", dir + "broken.png", "--skip-if-larger", "--gray", "--out-dir",
               dir + "q", "--format", "bmp"});
    EXPECT_EQ(r.code, batchFileError);
}

TEST_F(OverwriteTest, QualityChangesTheJpegAndNothingElse) {
    Image photo = randomImage(64, 64, 3, 24);
    ASSERT_EQ(writeImageFile(photo, dir + "p.png", ImageFormat::Png), "");
    ASSERT_EQ(batch({dir + "p.png", "--quality", "20", "-o", dir + "low.jpg"}).code, batchOk);
    ASSERT_EQ(batch({dir + "p.png", "--quality", "95", "-o", dir + "high.jpg"}).code, batchOk);
    ASSERT_EQ(batch({dir + "p.png", "-o", dir + "default.jpg"}).code, batchOk);
    ASSERT_EQ(writeImageFile(photo, dir + "saved.jpg", ImageFormat::Jpeg), "");
    EXPECT_LT(fs::file_size(dir + "low.jpg"), fs::file_size(dir + "high.jpg"));
    // Without --quality, the editor's Save quality.
    EXPECT_EQ(readBytes(dir + "default.jpg"), readBytes(dir + "saved.jpg"));
}

TEST_F(OverwriteTest, OneFileThroughOutDirIsTheSameAtAnyThreadCount) {
    Image photo = randomImage(80, 60, 12, 24);
    ASSERT_EQ(writeImageFile(photo, dir + "p.png", ImageFormat::Png), "");
    std::vector<uint8_t> reference;
    for (int threads : {1, 2, 7}) {
        configureThreads(threads, 1);
        const std::string out = dir + "t" + std::to_string(threads);
        BatchRun r = batch({dir + "p.png", "--effect", "gaussianblur", "--quantize", "adaptive",
                            "--limit", "64", "--dither", "--out-dir", out});
        configureThreads(0);
        ASSERT_EQ(r.code, batchOk) << r.err;
        std::vector<uint8_t> bytes = readBytes(out + "/p.png");
        if (reference.empty()) reference = bytes;
        EXPECT_EQ(bytes, reference) << threads << " threads";
    }
}

TEST(BatchManual, HelpFitsEightyColumnsAndTheManPageListsEveryOption) {
    BatchRun help = batch({"--help"});
    std::istringstream lines(help.out);
    for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 80u) << line;
    const size_t exits = help.out.find("\nExit status:\n");
    ASSERT_NE(exits, std::string::npos);
    for (const char* code : {"  0 ", "  1 ", "  2 ", "  98 "}) {
        EXPECT_NE(help.out.find(code, exits), std::string::npos) << code;
    }
    const std::string man = batchManPage();
    for (const char* section : {".SH NAME", ".SH SYNOPSIS", ".SH DESCRIPTION", ".SH OPTIONS",
                                ".SH EXIT STATUS", ".SH EXAMPLES", ".SH SEE ALSO"}) {
        EXPECT_NE(man.find(section), std::string::npos) << section;
    }
    // Every option of the help, as roff writes it.
    std::istringstream options(help.out.substr(help.out.find("\nOptions:\n")));
    int count = 0;
    for (std::string line; std::getline(options, line);) {
        if (line.rfind("  -", 0) != 0) continue;
        std::string name = line.substr(line.find("--"));
        name = name.substr(0, name.find_first_of(" \n"));
        std::string roffName;
        for (char c : name) roffName += c == '-' ? std::string("\\-") : std::string(1, c);
        EXPECT_NE(man.find("\\fB" + roffName + "\\fR"), std::string::npos) << name;
        ++count;
    }
    EXPECT_GE(count, 30);
}

}  // namespace
