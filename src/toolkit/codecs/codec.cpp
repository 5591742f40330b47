#include "toolkit/codecs/codec.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <mutex>
#include <system_error>

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

bool writeAll(int fd, const uint8_t* data, size_t size, int& error) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = errno;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
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
            return encodeJpeg(image, jpegSaveQuality, metadata);
        case ImageFormat::Jpeg2000:
            return encodeJpeg2000(image, jpeg2000SaveQuality);
        case ImageFormat::Bmp:
            return encodeBmp(image, metadata);
        case ImageFormat::Gif:
            return encodeGif(image);
        case ImageFormat::WebP:
            return encodeWebp(image, options.webpQuality, metadata);
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

namespace {

// A write past the process's file-size limit raises SIGXFSZ, whose default action ends the
// program (and would leave the temporary file behind). Ignored, the write fails with
// EFBIG like any other write error.
void ignoreFileSizeSignal() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        ::sigaction(SIGXFSZ, &ignore, nullptr);
    });
}

// Overwrites the existing file at `path` in place: used when its folder does not let a
// temporary file be made beside it. Space is reserved first, so a full disk or the size
// limit is met before any old byte is lost where the file system allows. Returns 0 or the
// errno of the failure; `damaged` tells whether old bytes had been overwritten by then.
int writeInPlace(const std::string& path, const std::vector<uint8_t>& bytes, bool& damaged) {
    damaged = false;
    int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return errno;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        int error = S_ISREG(info.st_mode) ? errno : EACCES;
        ::close(fd);
        return error;
    }
    int error = 0;
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        bytes.size() > limit.rlim_cur) {
        error = EFBIG;
    }
    if (error == 0 && !bytes.empty()) {
        int reserved = ::posix_fallocate(fd, 0, static_cast<off_t>(bytes.size()));
        if (reserved == ENOSPC || reserved == EFBIG || reserved == EDQUOT) {
            error = reserved;
            // Whatever was reserved past the old end goes again.
            if (::ftruncate(fd, info.st_size) != 0) damaged = true;
        }
    }
    if (error == 0) {
        damaged = true;
        if (!writeAll(fd, bytes.data(), bytes.size(), error)) {
            // error set by writeAll
        } else if (::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0 || ::fsync(fd) != 0) {
            error = errno;
        }
    }
    if (::close(fd) != 0 && error == 0) error = errno;
    return error;
}

}  // namespace

std::string writeImageFile(const Image& image, const std::string& path, ImageFormat format,
                           const ImageMetadata& metadata, const EncodeOptions& options) {
    EncodeResult encoded = encodeImage(image, format, metadata, options);
    if (!encoded.ok()) return encoded.error;
    ignoreFileSizeSignal();

    std::string folder, file;
    splitPath(path, folder, file);
    if (file.empty()) return errnoText(EISDIR);

    // A hidden name beside the target, unique within this process and across processes.
    static std::atomic<unsigned> counter{0};
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = folder + "." + file + ".saving-" + std::to_string(::getpid()) + "-" +
               std::to_string(counter++);
        // 0666 lets the umask decide, as for any newly created file.
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        int error = errno;
        // A folder we may not write to can still hold a file we may: write that one in
        // place. Quietly when it works; the message says how when it does not.
        struct stat target {};
        if ((error == EACCES || error == EPERM) && ::stat(path.c_str(), &target) == 0 &&
            S_ISREG(target.st_mode) && ::access(path.c_str(), W_OK) == 0) {
            bool damaged = false;
            int inPlace = writeInPlace(path, encoded.bytes, damaged);
            if (inPlace == 0) return {};
            return errnoText(inPlace) +
                   (damaged ? " (the folder is read-only, so the file was being overwritten in "
                              "place and is now damaged)"
                            : " (the folder is read-only, so the file was to be overwritten "
                              "in place; it is unchanged)");
        }
        return errnoText(error);
    }

    int error = 0;
    bool written = writeAll(fd, encoded.bytes.data(), encoded.bytes.size(), error);
    if (written) {
        // Keep the permissions of a file we replace.
        struct stat old {};
        if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
            ::fchmod(fd, old.st_mode & 07777);
        }
        if (::fsync(fd) != 0) {
            error = errno;
            written = false;
        }
    }
    if (::close(fd) != 0 && written) {
        error = errno;
        written = false;
    }
    if (written && ::rename(temp.c_str(), path.c_str()) != 0) {
        error = errno;
        written = false;
    }
    if (!written) {
        ::unlink(temp.c_str());
        return errnoText(error);
    }
    return {};
}

DecodeResult readImageFile(const std::string& path) {
    return guardMemory<DecodeResult>([&] { return readImageFileUnguarded(path); });
}
