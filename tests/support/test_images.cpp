#include "support/test_images.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
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

std::string twoColourPattern(const Image& image, uint32_t c1, uint32_t c2) {
    std::string text;
    for (int y = 0; y < image.height; ++y) {
        if (y > 0) text += '/';
        for (int x = 0; x < image.width; ++x) {
            const uint32_t p = image.at(x, y) & colourMask;
            text += p == (c1 & colourMask) ? '1' : p == (c2 & colourMask) ? '2' : '.';
        }
    }
    return text;
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

std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::vector<std::string> folderEntries(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

int runInChild(bool asOrdinaryUser, const std::function<int()>& body) {
    constexpr unsigned nobody = 65534;
    pid_t child = ::fork();
    if (child < 0) return -1;
    if (child == 0) {
        if (asOrdinaryUser && ::geteuid() == 0 &&
            (::setgid(nobody) != 0 || ::setuid(nobody) != 0)) {
            ::_exit(125);
        }
        ::_exit(body());
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}
