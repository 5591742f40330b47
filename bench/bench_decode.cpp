// Decoding memory and refusals. Each format decodes the 24 megapixel photograph in a
// child process, whose resident growth is the decode's peak ("peak_MiB", against
// "allowed_MiB" = 1.3 times the image plus 64 MiB). GIF and the lossless WebP get the
// photograph in 256 colours; "JpegTurnedWithProfile" is a phone's JPEG, stored a quarter
// turned with an Adobe RGB-like profile, so it is turned and converted on load. Every file
// under tests/data/bad is refused; "RefuseBadFiles" times them all ("slowest_ms": the
// slowest one).

#include <benchmark/benchmark.h>
#include <lcms2.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "photo.h"
#include "toolkit/codecs/codec.h"

namespace {

constexpr int photoMegapixels = 24;
constexpr double mebibyte = 1024.0 * 1024.0;

// The photograph in 256 colours: three bits of red and green, two of blue.
Image fewColourPhoto() {
    Image image = benchPhoto(photoMegapixels);
    for (uint32_t& p : image.pixels) p = (p & 0xFFC0E0E0u) | alphaMask;
    return image;
}

// A little-endian EXIF block holding Orientation 6.
const std::vector<uint8_t> turnedExif = {'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 0x01, 3,
                                         0,   1,   0,  0, 0, 6, 0, 0, 0, 0, 0,    0,    0};

// An ICC profile like Adobe RGB (1998): its primaries, D65 and a gamma of 563/256.
std::vector<uint8_t> adobeLikeProfile() {
    const cmsCIExyY white{0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries{{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}};
    cmsToneCurve* gamma = cmsBuildGamma(nullptr, 563.0 / 256.0);
    cmsToneCurve* curves[3] = {gamma, gamma, gamma};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<uint8_t> bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    cmsFreeToneCurve(gamma);
    return bytes;
}

// Our JPEG of the photograph with EXIF, and the profile spliced in after it as APP2
// markers ("ICC_PROFILE\0", piece number, piece count, then the piece).
std::vector<uint8_t> turnedProfiledJpeg() {
    ImageMetadata metadata;
    metadata.exif = turnedExif;
    std::vector<uint8_t> jpeg =
        encodeImage(benchPhoto(photoMegapixels), ImageFormat::Jpeg, metadata).bytes;
    const std::vector<uint8_t> profile = adobeLikeProfile();
    constexpr size_t pieceBytes = 60000;
    const size_t pieces = (profile.size() + pieceBytes - 1) / pieceBytes;
    std::vector<uint8_t> markers;
    for (size_t i = 0; i < pieces; ++i) {
        const size_t n = std::min(pieceBytes, profile.size() - i * pieceBytes);
        const size_t length = 2 + 12 + 2 + n;
        const uint8_t head[] = {0xFF,
                                0xE2,
                                static_cast<uint8_t>(length >> 8),
                                static_cast<uint8_t>(length),
                                'I',
                                'C',
                                'C',
                                '_',
                                'P',
                                'R',
                                'O',
                                'F',
                                'I',
                                'L',
                                'E',
                                0,
                                static_cast<uint8_t>(i + 1),
                                static_cast<uint8_t>(pieces)};
        markers.insert(markers.end(), std::begin(head), std::end(head));
        markers.insert(markers.end(), profile.begin() + static_cast<std::ptrdiff_t>(i * pieceBytes),
                       profile.begin() + static_cast<std::ptrdiff_t>(i * pieceBytes + n));
    }
    jpeg.insert(jpeg.begin() + 2, markers.begin(), markers.end());  // after SOI
    return jpeg;
}

enum class Sample { Photo, FewColours, TurnedWithProfile };

const std::vector<uint8_t>& encodedPhoto(ImageFormat format, Sample sample) {
    static std::map<std::pair<ImageFormat, Sample>, std::vector<uint8_t>> cache;
    auto it = cache.find({format, sample});
    if (it != cache.end()) return it->second;
    std::vector<uint8_t> bytes;
    if (sample == Sample::TurnedWithProfile) {
        bytes = turnedProfiledJpeg();
    } else {
        bytes = encodeImage(
                    sample == Sample::FewColours ? fewColourPhoto() : benchPhoto(photoMegapixels),
                    format)
                    .bytes;
    }
    return cache.emplace(std::make_pair(format, sample), std::move(bytes)).first->second;
}

// Resident growth, in KiB, of decoding `bytes` in a child process; -1 on failure.
long decodePeakKilobytes(const std::vector<uint8_t>& bytes) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) return -1;
    pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeEnds[0]);
        long before = residentKilobytes();
        DecodeResult r = decodeImage(bytes.data(), bytes.size());
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        long growth = r.ok() ? usage.ru_maxrss - before : -1;
        ssize_t written = ::write(pipeEnds[1], &growth, sizeof growth);
        ::_exit(written == sizeof growth ? 0 : 1);
    }
    ::close(pipeEnds[1]);
    long growth = -1;
    if (child < 0 || ::read(pipeEnds[0], &growth, sizeof growth) != sizeof growth) growth = -1;
    ::close(pipeEnds[0]);
    if (child > 0) ::waitpid(child, nullptr, 0);
    return growth;
}

void decodePeak(benchmark::State& state, ImageFormat format, Sample sample) {
    const std::vector<uint8_t>& bytes = encodedPhoto(format, sample);
    long peak = 0;
    for (auto _ : state) peak = decodePeakKilobytes(bytes);
    const Image& photo = benchPhoto(photoMegapixels);
    const double imageMiB = static_cast<double>(photo.pixels.size()) * 4 / mebibyte;
    state.counters["peak_MiB"] = static_cast<double>(peak) / 1024.0;
    state.counters["image_MiB"] = imageMiB;
    state.counters["allowed_MiB"] = 1.3 * imageMiB + 64;
    state.counters["file_MiB"] = static_cast<double>(bytes.size()) / mebibyte;
}

void refuseBadFiles(benchmark::State& state) {
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(PIXOVA_DATA "/bad")) {
        if (e.is_regular_file() && e.path().extension() != ".md") files.push_back(e.path());
    }
    double slowest = 0;
    int accepted = 0;
    for (auto _ : state) {
        for (const std::string& f : files) {
            auto start = std::chrono::steady_clock::now();
            DecodeResult r = readImageFile(f);
            double ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count();
            slowest = std::max(slowest, ms);
            if (r.ok()) ++accepted;
        }
    }
    state.counters["files"] = static_cast<double>(files.size());
    state.counters["slowest_ms"] = slowest;
    state.counters["accepted"] = accepted;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    struct Case {
        const char* name;
        ImageFormat format;
        Sample sample;
    };
    const Case cases[] = {{"Png", ImageFormat::Png, Sample::Photo},
                          {"Jpeg", ImageFormat::Jpeg, Sample::Photo},
                          {"JpegTurnedWithProfile", ImageFormat::Jpeg, Sample::TurnedWithProfile},
                          {"Jpeg2000", ImageFormat::Jpeg2000, Sample::Photo},
                          {"Bmp", ImageFormat::Bmp, Sample::Photo},
                          {"Gif", ImageFormat::Gif, Sample::FewColours},
                          {"WebpLossy", ImageFormat::WebP, Sample::Photo},
                          {"WebpLossless", ImageFormat::WebP, Sample::FewColours},
                          {"Tiff", ImageFormat::Tiff, Sample::Photo}};
    for (const Case& c : cases) {
        benchmark::RegisterBenchmark(
            (std::string("DecodePeak/") + c.name).c_str(),
            [c](benchmark::State& s) { decodePeak(s, c.format, c.sample); })
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1);
    }
    benchmark::RegisterBenchmark("RefuseBadFiles", refuseBadFiles)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
