#include "support/test_images.h"

#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <vector>

Image imageFromRows(int w, int h, std::initializer_list<uint32_t> values, int depth) {
    if (values.size() != static_cast<size_t>(w) * h) throw std::invalid_argument("pixel count");
    Image image(w, h, depth);
    size_t i = 0;
    for (uint32_t v : values) {
        image.pixels[i++] = depth == 32 ? v : (v | alphaMask);
    }
    return image;
}

Image randomImage(int w, int h, uint32_t seed, int depth) {
    Image image(w, h, depth);
    std::mt19937 rng(seed);
    for (uint32_t& p : image.pixels) p = depth == 32 ? rng() : (rng() | alphaMask);
    return image;
}

std::string firstDifference(const Image& actual, const Image& expected) {
    if (actual.width != expected.width || actual.height != expected.height) {
        return "size " + std::to_string(actual.width) + "x" + std::to_string(actual.height);
    }
    for (int y = 0; y < actual.height; ++y) {
        for (int x = 0; x < actual.width; ++x) {
            if (actual.at(x, y) != expected.at(x, y)) {
                return "pixel (" + std::to_string(x) + ", " + std::to_string(y) + ")";
            }
        }
    }
    return "";
}

std::string testDataPath(const std::string& relative) {
    return std::string(PIXOVA_TEST_DATA) + "/" + relative;
}

namespace {
struct TempDirs {
    std::vector<std::filesystem::path> dirs;
    ~TempDirs() {
        std::error_code ec;
        for (auto& d : dirs) std::filesystem::remove_all(d, ec);
    }
};
TempDirs tempDirs;
}  // namespace

std::string makeTempDir() {
    auto base = std::filesystem::temp_directory_path();
    std::random_device rd;
    for (;;) {
        auto dir = base / ("pixova-test-" + std::to_string(rd()));
        if (std::filesystem::create_directory(dir)) {
            tempDirs.dirs.push_back(dir);
            return dir.string() + "/";
        }
    }
}
