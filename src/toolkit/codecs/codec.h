#pragma once
// Image file codecs. Every decoder validates what it reads and returns an error text
// instead of throwing, aborting or exiting; every encoder reports failure the same way.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/image.h"

enum class ImageFormat { Unknown, Png, Jpeg, Jpeg2000, Bmp };

struct DecodeResult {
    Image image;
    std::string error;  // empty on success
    bool ok() const { return error.empty(); }
};

struct EncodeResult {
    std::vector<uint8_t> bytes;
    std::string error;  // empty on success
    bool ok() const { return error.empty(); }
};

// Quality on the program's 0..10 scale.
inline constexpr int jpegSaveQuality = 8;
inline constexpr int jpeg2000SaveQuality = 3;

// Which codec can read these bytes, judged by their first bytes only.
ImageFormat detectFormat(const uint8_t* data, size_t size);

// Decodes by content, whatever the file was called. Depth follows the file: an alpha
// channel gives a 32-bit image, none a 24-bit one (alpha 0xFF).
DecodeResult decodeImage(const uint8_t* data, size_t size);

DecodeResult decodePng(const uint8_t* data, size_t size);
DecodeResult decodeJpeg(const uint8_t* data, size_t size);
DecodeResult decodeJpeg2000(const uint8_t* data, size_t size);
DecodeResult decodeBmp(const uint8_t* data, size_t size);

EncodeResult encodePng(const Image& image);
EncodeResult encodeJpeg(const Image& image, int quality);         // quality 0..10
EncodeResult encodeJpegPercent(const Image& image, int percent);  // libjpeg's 0..100
EncodeResult encodeJpeg2000(const Image& image, int quality);     // quality 0..10
EncodeResult encodeBmp(const Image& image);

inline constexpr int maxJpegPercent = 100;

// What an encoder may be told beyond the format.
struct EncodeOptions {
    int quality = 0;  // 1..100 for the lossy formats; 0: the program's save quality
};

// Encodes in `format` with the program's save quality for that format, or as `options` say.
EncodeResult encodeImage(const Image& image, ImageFormat format, const EncodeOptions& options = {});

// ".png" -> Png, ".jpg"/".jpeg" -> Jpeg, ".jp2" -> Jpeg2000, ".bmp" -> Bmp, else Unknown
// (case-insensitive; the text after the last '.' of the file part).
ImageFormat formatFromPath(const std::string& path);

// Reads and decodes a file. Errors name the reason only ("not a supported image",
// "No such file or directory", ...); callers add the file name.
DecodeResult readImageFile(const std::string& path);

// Encodes and writes `image` to `path` through a temporary file in the same folder that
// is renamed over the target only when everything was written, so a failed save never
// damages an existing file. Returns an empty string on success, else the reason.
std::string writeImageFile(const Image& image, const std::string& path, ImageFormat format);
