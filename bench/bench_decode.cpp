// Decoding memory and refusals. Each format decodes the 24 megapixel photograph in a
// child process, whose resident growth is the decode's peak ("peak_MiB", against
// "allowed_MiB" = 1.3 times the image plus 64 MiB). Every file under tests/data/bad is
// refused; "RefuseBadFiles" times them all ("slowest_ms": the slowest one).

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
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


const std::vector<uint8_t>& encodedPhoto(ImageFormat format) {
    static std::map<ImageFormat, std::vector<uint8_t>> cache;
    auto it = cache.find(format);
    if (it != cache.end()) return it->second;
    const Image& photo = benchPhoto(photoMegapixels);
    return cache.emplace(format, encodeImage(photo, format).bytes).first->second;
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

void decodePeak(benchmark::State& state, ImageFormat format) {
    const std::vector<uint8_t>& bytes = encodedPhoto(format);
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
    const std::pair<const char*, ImageFormat> formats[] = {{"Png", ImageFormat::Png},
                                                           {"Jpeg", ImageFormat::Jpeg},
                                                           {"Jpeg2000", ImageFormat::Jpeg2000},
                                                           {"Bmp", ImageFormat::Bmp}};
    for (const auto& [name, format] : formats) {
        ImageFormat f = format;
        benchmark::RegisterBenchmark((std::string("DecodePeak/") + name).c_str(),
                                     [f](benchmark::State& s) { decodePeak(s, f); })
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
