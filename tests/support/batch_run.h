#pragma once
// Runs pixova-batch in process, capturing what it prints.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "batch/batch.h"
#include "support/test_images.h"
#include "toolkit/codecs/codec.h"

struct BatchRun {
    int code;
    std::string out, err;
};

inline BatchRun batch(const std::vector<std::string>& args, bool progress = false) {
    std::ostringstream out, err;
    int code = runBatch(args, out, err, progress);
    return {code, out.str(), err.str()};
}

// A folder of its own with `input` written there as in.png; read() loads an output.
class BatchFilesTest : public ::testing::Test {
  protected:
    explicit BatchFilesTest(Image picture) : input(std::move(picture)) {}
    void SetUp() override {
        dir = makeTempDir();
        ASSERT_EQ(writeImageFile(input, dir + "in.png", ImageFormat::Png), "");
    }
    Image read(const std::string& name) {
        DecodeResult r = readImageFile(dir + name);
        EXPECT_TRUE(r.ok()) << r.error;
        return r.image;
    }
    std::string dir;
    Image input;
};
