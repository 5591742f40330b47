#include "codec_test_util.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <stdexcept>

#include "support/test_images.h"

std::vector<std::string> dataFiles(const std::string& folder, const std::string& extension) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(testDataPath(folder))) {
        if (!entry.is_regular_file()) continue;
        std::string path = entry.path().string();
        if (entry.path().extension() == ".md") continue;  // the folders' notes
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

namespace {
void appendBe32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}
}  // namespace

std::vector<uint8_t> pngChunkBytes(const PngChunk& chunk) {
    // Sized up front and filled by index (GCC 12 misjudges repeated inserts here).
    const size_t n = chunk.data.size();
    std::vector<uint8_t> out(12 + n);
    auto putBe32 = [&out](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
    };
    putBe32(0, static_cast<uint32_t>(n));
    std::memcpy(out.data() + 4, chunk.type.data(), 4);
    if (n) std::memcpy(out.data() + 8, chunk.data.data(), n);
    putBe32(8 + n, static_cast<uint32_t>(crc32(0, out.data() + 4, static_cast<uInt>(4 + n))));
    return out;
}

std::vector<uint8_t> handMadePng(uint32_t width, uint32_t height, int bitDepth, int colourType,
                                 const std::vector<uint8_t>& scanlines,
                                 const std::vector<PngChunk>& extra, bool withEnd) {
    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> ihdr;
    appendBe32(ihdr, width);
    appendBe32(ihdr, height);
    ihdr.push_back(static_cast<uint8_t>(bitDepth));
    ihdr.push_back(static_cast<uint8_t>(colourType));
    ihdr.insert(ihdr.end(), {0, 0, 0});
    auto add = [&out](const PngChunk& c) {
        std::vector<uint8_t> bytes = pngChunkBytes(c);
        out.insert(out.end(), bytes.begin(), bytes.end());
    };
    add({"IHDR", ihdr});
    for (const PngChunk& c : extra) add(c);
    uLongf packedSize = compressBound(static_cast<uLong>(scanlines.size()));
    std::vector<uint8_t> packed(packedSize);
    if (compress(packed.data(), &packedSize, scanlines.data(),
                 static_cast<uLong>(scanlines.size())) != Z_OK) {
        throw std::runtime_error("deflate failed");
    }
    packed.resize(packedSize);
    add({"IDAT", packed});
    if (withEnd) add({"IEND", {}});
    return out;
}

bool containsBytesOf(const std::vector<uint8_t>& bytes, const std::string& text) {
    return std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) != bytes.end();
}
