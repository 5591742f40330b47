#include "codec_test_util.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <stdexcept>

#include "support/test_images.h"

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

std::vector<std::string> dataFiles(const std::string& folder, const std::string& extension) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(testDataPath(folder))) {
        if (!entry.is_regular_file()) continue;
        std::string path = entry.path().string();
        if (extension.empty() ||
            (path.size() >= extension.size() &&
             path.compare(path.size() - extension.size(), extension.size(), extension) == 0)) {
            files.push_back(path);
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

Image smoothImage(int w, int h, int depth) {
    Image image(w, h, depth);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            int r = 40 + 160 * x / std::max(w - 1, 1);
            int g = 200 - 150 * y / std::max(h - 1, 1);
            int b = 60 + 120 * (x + y) / std::max(w + h - 2, 1);
            int a = depth == 32 ? 255 - 100 * x / std::max(w - 1, 1) : 255;
            image.at(x, y) = rgba(r, g, b, a);
        }
    }
    return image;
}

int maxChannelDifference(const Image& a, const Image& b) {
    if (a.width != b.width || a.height != b.height) throw std::invalid_argument("image sizes");
    int worst = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) {
        for (int shift = 0; shift < 32; shift += 8) {
            int pa = static_cast<int>((a.pixels[i] >> shift) & 255);
            int pb = static_cast<int>((b.pixels[i] >> shift) & 255);
            worst = std::max(worst, std::abs(pa - pb));
        }
    }
    return worst;
}

void appendLe16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void appendLe32(std::vector<uint8_t>& out, uint32_t v) {
    appendLe16(out, v & 0xFFFF);
    appendLe16(out, v >> 16);
}

void PrintTo(const Image& image, std::ostream* out) {
    *out << image.width << "x" << image.height << " depth " << image.depth << " {";
    constexpr size_t shown = 16;
    for (size_t i = 0; i < image.pixels.size() && i < shown; ++i) {
        *out << (i ? " " : "") << std::hex << std::setw(8) << std::setfill('0') << image.pixels[i]
             << std::dec;
    }
    if (image.pixels.size() > shown) *out << " ...";
    *out << "}";
}
