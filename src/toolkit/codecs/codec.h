#pragma once
// Image file codecs. Every decoder validates what it reads and returns an error text
// instead of throwing, aborting or exiting; every encoder reports failure the same way.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/image.h"
#include "toolkit/image_metadata.h"

enum class ImageFormat { Unknown, Png, Jpeg, Jpeg2000, Bmp, Gif, WebP, Tiff };

// A decoded picture is upright and in sRGB: the file's EXIF orientation and colour
// profile have been applied to the pixels, and `metadata` no longer mentions them.
struct DecodeResult {
    Image image;
    ImageMetadata metadata;
    // Something the user should hear about a picture that did decode (only the first
    // frame of an animation is shown); empty otherwise.
    std::string notice;
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
// Lossy WebP's save quality, on libwebp's own 0..100 scale.
inline constexpr int webpSaveQuality = 90;

// Which codec can read these bytes, judged by their first bytes only.
ImageFormat detectFormat(const uint8_t* data, size_t size);

// Decodes by content, whatever the file was called. Depth follows the file: an alpha
// channel gives a 32-bit image, none a 24-bit one (alpha 0xFF).
DecodeResult decodeImage(const uint8_t* data, size_t size);

DecodeResult decodePng(const uint8_t* data, size_t size);
DecodeResult decodeJpeg(const uint8_t* data, size_t size);
DecodeResult decodeJpeg2000(const uint8_t* data, size_t size);
DecodeResult decodeBmp(const uint8_t* data, size_t size);
DecodeResult decodeGif(const uint8_t* data, size_t size);
DecodeResult decodeWebp(const uint8_t* data, size_t size);
DecodeResult decodeTiff(const uint8_t* data, size_t size);

// Encoders write the metadata each format has room for (and only that): the resolution
// in PNG, JPEG, BMP, TIFF and (by EXIF) WebP; the EXIF block in PNG, JPEG, WebP and TIFF.
// What Pixova writes is sRGB; a PNG says so.
EncodeResult encodePng(const Image& image, const ImageMetadata& metadata = {});
EncodeResult encodeJpeg(const Image& image, int quality,  // quality 0..10
                        const ImageMetadata& metadata = {});
EncodeResult encodeJpegPercent(const Image& image, int percent,  // libjpeg's 0..100
                               const ImageMetadata& metadata = {});
EncodeResult encodeJpeg2000(const Image& image, int quality);  // quality 0..10
EncodeResult encodeBmp(const Image& image, const ImageMetadata& metadata = {});
// GIF holds at most 256 colours and no partial transparency: an image with more, or with
// an alpha other than 0 and 255, is refused (see gif.h for making one fit).
EncodeResult encodeGif(const Image& image);
// Lossless when the image has at most 256 distinct values (fully transparent pixels
// counting as one), so a quantized image comes back exactly; else lossy at `quality`
// (libwebp's 0..100).
EncodeResult encodeWebp(const Image& image, int quality = webpSaveQuality,
                        const ImageMetadata& metadata = {});
EncodeResult encodeTiff(const Image& image, const ImageMetadata& metadata = {});

inline constexpr int maxJpegPercent = 100;

// What an encoder may be told beyond the format and the metadata.
struct EncodeOptions {
    int quality = 0;  // 1..100 for the lossy formats (JPEG, WebP); 0: the save quality
};

// Encodes in `format` with the program's save quality for that format, or as `options` say.
EncodeResult encodeImage(const Image& image, ImageFormat format, const ImageMetadata& metadata = {},
                         const EncodeOptions& options = {});

// ".png" -> Png, ".jpg"/".jpeg" -> Jpeg, ".jp2" -> Jpeg2000, ".bmp" -> Bmp, ".gif" -> Gif,
// ".webp" -> WebP, ".tif"/".tiff" -> Tiff, else Unknown (case-insensitive; the text after
// the last '.' of the file part).
ImageFormat formatFromPath(const std::string& path);

// The usual extension of a format's files, with its dot (".png"); "" for Unknown.
const char* formatExtension(ImageFormat format);

// Reads and decodes a file. Errors name the reason only ("not a supported image",
// "No such file or directory", ...); callers add the file name.
DecodeResult readImageFile(const std::string& path);

// Encodes and writes `image` to `path` through a temporary file in the same folder that
// is renamed over the target only when everything was written, so a failed save never
// damages an existing file. Returns an empty string on success, else the reason.
std::string writeImageFile(const Image& image, const std::string& path, ImageFormat format,
                           const ImageMetadata& metadata = {}, const EncodeOptions& options = {});
