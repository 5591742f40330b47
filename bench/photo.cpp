#include "photo.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <string>

#include "toolkit/codecs/codec.h"

namespace {

const char* const photoPath = "/usr/share/backgrounds/sunset_by_Aitzol_Berasategi.jpg";

Image generated(int w, int h) {
    Image image(w, h, 24);
    std::mt19937 rng(12345);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            double fx = static_cast<double>(x) / w, fy = static_cast<double>(y) / h;
            int n = static_cast<int>(rng() % 17) - 8;
            auto clamp = [](double v) {
                return static_cast<int>(std::fmin(255.0, std::fmax(0.0, v)));
            };
            int r = clamp(200 * fx + 40 * std::sin(fy * 9) + n);
            int g = clamp(120 + 100 * std::sin(fx * 5 + fy * 3) + n);
            int b = clamp(230 * fy + 20 * std::cos(fx * 13) + n);
            image.at(x, y) = rgb(r, g, b) | alphaMask;
        }
    }
    return image;
}

Image fitTo(const Image& src, int w, int h) {
    Image out(w, h, src.depth);
    for (int y = 0; y < h; ++y) {
        int ty = y / src.height, sy = y % src.height;
        if (ty & 1) sy = src.height - 1 - sy;
        for (int x = 0; x < w; ++x) {
            int tx = x / src.width, sx = x % src.width;
            if (tx & 1) sx = src.width - 1 - sx;
            out.at(x, y) = src.at(sx, sy);
        }
    }
    return out;
}

}  // namespace

void benchPhotoSize(int megapixels, int& width, int& height) {
    // 4:3, rounded to whole pixels
    height = static_cast<int>(std::lround(std::sqrt(megapixels * 1e6 * 3 / 4)));
    width = static_cast<int>(std::lround(megapixels * 1e6 / height));
}

const Image& benchPhoto(int megapixels) {
    static std::map<int, Image> cache;
    auto it = cache.find(megapixels);
    if (it != cache.end()) return it->second;
    int w, h;
    benchPhotoSize(megapixels, w, h);
    DecodeResult photo = readImageFile(photoPath);
    Image image;
    if (photo.ok()) {
        image = fitTo(photo.image, w, h);
    } else {
        std::fprintf(stderr, "bench: %s unavailable (%s); using a generated image\n", photoPath,
                     photo.error.c_str());
        image = generated(w, h);
    }
    return cache.emplace(megapixels, std::move(image)).first->second;
}

long residentKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmRSS:") {
            status >> value;
            return value;
        }
        status.ignore(1 << 12, '\n');
    }
    return 0;
}
