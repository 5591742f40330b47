#include "toolkit/codecs/codec.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "toolkit/atomic_file.h"
#include "toolkit/codecs/codec_util.h"

namespace {

constexpr uint8_t pngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint8_t jp2Signature[] = {0, 0, 0, 12, 'j', 'P', ' ', ' ', '\r', '\n', 0x87, '\n'};
constexpr uint8_t j2kSignature[] = {0xFF, 0x4F, 0xFF, 0x51};  // SOC then SIZ
constexpr uint8_t jpegSignature[] = {0xFF, 0xD8, 0xFF};
constexpr uint8_t bmpSignature[] = {'B', 'M'};
constexpr uint8_t gif87Signature[] = {'G', 'I', 'F', '8', '7', 'a'};
constexpr uint8_t gif89Signature[] = {'G', 'I', 'F', '8', '9', 'a'};
constexpr uint8_t riffSignature[] = {'R', 'I', 'F', 'F'};
constexpr uint8_t webpFormType[] = {'W', 'E', 'B', 'P'};
constexpr size_t webpFormTypeOffset = 8;
// Classic and big TIFF, in either byte order.
constexpr uint8_t tiffLittleSignature[] = {'I', 'I', 42, 0};
constexpr uint8_t tiffBigSignature[] = {'M', 'M', 0, 42};
constexpr uint8_t bigTiffLittleSignature[] = {'I', 'I', 43, 0};
constexpr uint8_t bigTiffBigSignature[] = {'M', 'M', 0, 43};

// The largest file readImageFile reads: a top-size uncompressed 32-bit BMP is 1 GiB plus
// headers, and no real file of ours gets near twice that.
constexpr int64_t maxFileBytes = int64_t{2} << 30;
constexpr size_t readChunk = size_t{1} << 20;

template <size_t N>
bool startsWith(const uint8_t* data, size_t size, const uint8_t (&sig)[N]) {
    return size >= N && std::memcmp(data, sig, N) == 0;
}

std::string errnoText(int error) {
    return std::generic_category().message(error);
}

// Splits "dir/name" into the folder (with its trailing '/', or "" for the current one)
// and the file part.
void splitPath(const std::string& path, std::string& folder, std::string& file) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        folder.clear();
        file = path;
    } else {
        folder = path.substr(0, slash + 1);
        file = path.substr(slash + 1);
    }
}

}  // namespace

ImageFormat detectFormat(const uint8_t* data, size_t size) {
    if (!data) return ImageFormat::Unknown;
    if (startsWith(data, size, pngSignature)) return ImageFormat::Png;
    if (startsWith(data, size, jpegSignature)) return ImageFormat::Jpeg;
    if (startsWith(data, size, jp2Signature) || startsWith(data, size, j2kSignature)) {
        return ImageFormat::Jpeg2000;
    }
    if (startsWith(data, size, bmpSignature)) return ImageFormat::Bmp;
    if (startsWith(data, size, gif87Signature) || startsWith(data, size, gif89Signature)) {
        return ImageFormat::Gif;
    }
    if (startsWith(data, size, riffSignature) && size >= webpFormTypeOffset &&
        startsWith(data + webpFormTypeOffset, size - webpFormTypeOffset, webpFormType)) {
        return ImageFormat::WebP;
    }
    if (startsWith(data, size, tiffLittleSignature) || startsWith(data, size, tiffBigSignature) ||
        startsWith(data, size, bigTiffLittleSignature) ||
        startsWith(data, size, bigTiffBigSignature)) {
        return ImageFormat::Tiff;
    }
    return ImageFormat::Unknown;
}

DecodeResult decodeImage(const uint8_t* data, size_t size) {
    switch (detectFormat(data, size)) {
        case ImageFormat::Png:
            return decodePng(data, size);
        case ImageFormat::Jpeg:
            return decodeJpeg(data, size);
        case ImageFormat::Jpeg2000:
            return decodeJpeg2000(data, size);
        case ImageFormat::Bmp:
            return decodeBmp(data, size);
        case ImageFormat::Gif:
            return decodeGif(data, size);
        case ImageFormat::WebP:
            return decodeWebp(data, size);
        case ImageFormat::Tiff:
            return decodeTiff(data, size);
        case ImageFormat::Unknown:
            break;
    }
    DecodeResult result;
    result.error = "not a supported image";
    return result;
}

EncodeResult encodeImage(const Image& image, ImageFormat format, const ImageMetadata& metadata,
                         const EncodeOptions& options) {
    switch (format) {
        case ImageFormat::Png:
            return encodePng(image, metadata);
        case ImageFormat::Jpeg:
            if (options.quality > 0) return encodeJpegPercent(image, options.quality, metadata);
            return encodeJpeg(image, jpegSaveQuality, metadata);
        case ImageFormat::Jpeg2000:
            return encodeJpeg2000(image, jpeg2000SaveQuality);
        case ImageFormat::Bmp:
            return encodeBmp(image, metadata);
        case ImageFormat::Gif:
            return encodeGif(image);
        case ImageFormat::WebP:
            return encodeWebp(image, options.quality > 0 ? options.quality : webpSaveQuality,
                              metadata);
        case ImageFormat::Tiff:
            return encodeTiff(image, metadata);
        case ImageFormat::Unknown:
            break;
    }
    EncodeResult result;
    result.error = "unknown image format";
    return result;
}

ImageFormat formatFromPath(const std::string& path) {
    std::string folder, file;
    splitPath(path, folder, file);
    size_t dot = file.rfind('.');
    if (dot == std::string::npos) return ImageFormat::Unknown;
    std::string ext = file.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ext == "png") return ImageFormat::Png;
    if (ext == "jpg" || ext == "jpeg") return ImageFormat::Jpeg;
    if (ext == "jp2") return ImageFormat::Jpeg2000;
    if (ext == "bmp") return ImageFormat::Bmp;
    if (ext == "gif") return ImageFormat::Gif;
    if (ext == "webp") return ImageFormat::WebP;
    if (ext == "tif" || ext == "tiff") return ImageFormat::Tiff;
    return ImageFormat::Unknown;
}

const char* formatExtension(ImageFormat format) {
    switch (format) {
        case ImageFormat::Png:
            return ".png";
        case ImageFormat::Jpeg:
            return ".jpg";
        case ImageFormat::Jpeg2000:
            return ".jp2";
        case ImageFormat::Bmp:
            return ".bmp";
        case ImageFormat::Gif:
            return ".gif";
        case ImageFormat::WebP:
            return ".webp";
        case ImageFormat::Tiff:
            return ".tif";
        case ImageFormat::Unknown:
            break;
    }
    return "";
}

static DecodeResult readImageFileUnguarded(const std::string& path) {
    DecodeResult result;
    // Non-blocking, so that opening a named pipe with no writer does not wait; it is then
    // refused below like every file that is not a regular one.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        result.error = errnoText(errno);
        return result;
    }
    struct FdCloser {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        result.error = errnoText(errno);
        return result;
    }
    if (S_ISDIR(info.st_mode)) {
        result.error = errnoText(EISDIR);
        return result;
    }
    // Devices, pipes and sockets have no size to check and may never end (/dev/zero).
    if (!S_ISREG(info.st_mode)) {
        result.error = "not a regular file";
        return result;
    }
    if (info.st_size > maxFileBytes) {
        result.error = "file too large";
        return result;
    }
    // Exactly the size the file had when opened; one byte more is asked for to see that it
    // has not grown since.
    const size_t expected = static_cast<size_t>(info.st_size);
    std::vector<uint8_t> bytes(expected + 1);
    size_t filled = 0;
    while (filled < bytes.size()) {
        ssize_t n = ::read(fd, bytes.data() + filled, std::min(readChunk, bytes.size() - filled));
        if (n < 0) {
            if (errno == EINTR) continue;
            result.error = errnoText(errno);
            return result;
        }
        if (n == 0) break;
        filled += static_cast<size_t>(n);
    }
    if (filled != expected) {
        result.error = "file changed while it was read";
        return result;
    }
    return decodeImage(bytes.data(), expected);
}

std::string writeImageFile(const Image& image, const std::string& path, ImageFormat format,
                           const ImageMetadata& metadata, const EncodeOptions& options) {
    EncodeResult encoded = encodeImage(image, format, metadata, options);
    if (!encoded.ok()) return encoded.error;
    return writeFileAtomically(path, encoded.bytes.data(), encoded.bytes.size(),
                               ReplaceMode::AlwaysOrInPlace)
        .message;
}

DecodeResult readImageFile(const std::string& path) {
    return guardMemory<DecodeResult>([&] { return readImageFileUnguarded(path); });
}
