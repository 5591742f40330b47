#include "toolkit/codecs/codec.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "toolkit/codecs/codec_util.h"

namespace {

constexpr uint8_t pngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint8_t jp2Signature[] = {0, 0, 0, 12, 'j', 'P', ' ', ' ', '\r', '\n', 0x87, '\n'};
constexpr uint8_t j2kSignature[] = {0xFF, 0x4F, 0xFF, 0x51};  // SOC then SIZ
constexpr uint8_t jpegSignature[] = {0xFF, 0xD8, 0xFF};
constexpr uint8_t bmpSignature[] = {'B', 'M'};

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
        case ImageFormat::Unknown:
            break;
    }
    DecodeResult result;
    result.error = "not a supported image";
    return result;
}

EncodeResult encodeImage(const Image& image, ImageFormat format) {
    switch (format) {
        case ImageFormat::Png:
            return encodePng(image);
        case ImageFormat::Jpeg:
            return encodeJpeg(image, jpegSaveQuality);
        case ImageFormat::Jpeg2000:
            return encodeJpeg2000(image, jpeg2000SaveQuality);
        case ImageFormat::Bmp:
            return encodeBmp(image);
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
    return ImageFormat::Unknown;
}

static DecodeResult readImageFileUnguarded(const std::string& path) {
    DecodeResult result;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        result.error = errnoText(errno);
        return result;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        result.error = errnoText(errno);
        ::close(fd);
        return result;
    }
    if (S_ISDIR(info.st_mode)) {
        ::close(fd);
        result.error = errnoText(EISDIR);
        return result;
    }
    if (info.st_size > maxFileBytes) {
        ::close(fd);
        result.error = "file too large";
        return result;
    }
    std::vector<uint8_t> bytes;
    bytes.reserve(static_cast<size_t>(std::max<off_t>(info.st_size, 0)));
    // Read until end of file rather than trusting st_size, which pipes and some special
    // files do not report.
    for (;;) {
        size_t old = bytes.size();
        if (static_cast<int64_t>(old) >= maxFileBytes) {
            ::close(fd);
            result.error = "file too large";
            return result;
        }
        bytes.resize(old + readChunk);
        ssize_t n = ::read(fd, bytes.data() + old, readChunk);
        if (n < 0) {
            if (errno == EINTR) {
                bytes.resize(old);
                continue;
            }
            int error = errno;
            ::close(fd);
            result.error = errnoText(error);
            return result;
        }
        bytes.resize(old + static_cast<size_t>(n));
        if (n == 0) break;
    }
    ::close(fd);
    return decodeImage(bytes.data(), bytes.size());
}

std::string writeImageFile(const Image& image, const std::string& path, ImageFormat format) {
    EncodeResult encoded = encodeImage(image, format);
    if (!encoded.ok()) return encoded.error;

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
        if (fd < 0 && errno != EEXIST) return errnoText(errno);
    }
    if (fd < 0) return errnoText(EEXIST);

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
