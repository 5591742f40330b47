// Encoding and decoding the 12-megapixel photograph, on one thread.
// Counters: "bytes" is the encoded size; "vs_libpng" the PNG's size over what libpng writes
// with its default settings (target: at most 1.05); "indexed_bytes" the size of the
// photograph quantized to 256 colours with dither and written as an indexed PNG.

#include <benchmark/benchmark.h>
#include <png.h>

#include <csetjmp>
#include <vector>

#include "photo.h"
#include "quantize/quantize.h"
#include "quantize/styles.h"
#include "toolkit/codecs/codec.h"
#include "toolkit/parallel.h"

namespace {

constexpr int photoMegapixels = 12;

// libpng with every setting at its default: the size our writer is held to.
size_t libpngDefaultSize(const Image& image) {
    struct Sink {
        std::vector<uint8_t> bytes;
    } sink;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return 0;
    }
    png_set_write_fn(
        png, &sink,
        [](png_structp p, png_bytep data, size_t n) {
            auto* s = static_cast<Sink*>(png_get_io_ptr(p));
            s->bytes.insert(s->bytes.end(), data, data + n);
        },
        nullptr);
    const bool alpha = image.depth == 32;
    png_set_IHDR(png, info, image.width, image.height, 8,
                 alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    if (!alpha) png_set_filler(png, 0, PNG_FILLER_AFTER);
    for (int y = 0; y < image.height; ++y) {
        png_write_row(png, reinterpret_cast<png_const_bytep>(image.row(y)));
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return sink.bytes.size();
}

void setSize(benchmark::State& state, size_t bytes) {
    state.counters["bytes"] = static_cast<double>(bytes);
}

void pngEncodePhoto(benchmark::State& state) {
    configureThreads(1);
    const Image& photo = benchPhoto(photoMegapixels);
    size_t bytes = 0;
    for (auto _ : state) {
        EncodeResult r = encodePng(photo);
        bytes = r.bytes.size();
        benchmark::DoNotOptimize(r.bytes.data());
    }
    setSize(state, bytes);
    state.counters["vs_libpng"] =
        static_cast<double>(bytes) / static_cast<double>(libpngDefaultSize(photo));
    configureThreads(0);
}

void pngEncodeIndexed(benchmark::State& state) {
    configureThreads(1);
    Image quantized = benchPhoto(photoMegapixels);
    initQuantize();
    runQuantizeStyle(quantized, wholeImage(quantized), static_cast<int>(state.range(0)), 256, true);
    size_t bytes = 0;
    for (auto _ : state) {
        EncodeResult r = encodePng(quantized);
        bytes = r.bytes.size();
        benchmark::DoNotOptimize(r.bytes.data());
    }
    setSize(state, bytes);
    configureThreads(0);
}

// Decoding an encoded copy of the photograph in `format`.
void decodePhoto(benchmark::State& state, ImageFormat format) {
    const Image& photo = benchPhoto(photoMegapixels);
    EncodeResult encoded = encodeImage(photo, format);
    for (auto _ : state) {
        DecodeResult r = decodeImage(encoded.bytes.data(), encoded.bytes.size());
        benchmark::DoNotOptimize(r.image.pixels.data());
    }
    setSize(state, encoded.bytes.size());
}

void encodePhoto(benchmark::State& state, ImageFormat format) {
    const Image& photo = benchPhoto(photoMegapixels);
    size_t bytes = 0;
    for (auto _ : state) {
        EncodeResult r = encodeImage(photo, format);
        bytes = r.bytes.size();
        benchmark::DoNotOptimize(r.bytes.data());
    }
    setSize(state, bytes);
}

// GIF holds 256 colours: the photograph reduced by Adaptive, as a user would first.
const Image& quantizedPhoto() {
    static const Image quantized = [] {
        Image image = benchPhoto(photoMegapixels);
        initQuantize();
        runQuantizeStyle(image, wholeImage(image), styleAdaptive, 256, true);
        return image;
    }();
    return quantized;
}

void gifDecode(benchmark::State& state) {
    EncodeResult encoded = encodeGif(quantizedPhoto());
    for (auto _ : state) {
        DecodeResult r = decodeGif(encoded.bytes.data(), encoded.bytes.size());
        benchmark::DoNotOptimize(r.image.pixels.data());
    }
    setSize(state, encoded.bytes.size());
}

void gifEncode(benchmark::State& state) {
    const Image& image = quantizedPhoto();
    size_t bytes = 0;
    for (auto _ : state) {
        EncodeResult r = encodeGif(image);
        bytes = r.bytes.size();
        benchmark::DoNotOptimize(r.bytes.data());
    }
    setSize(state, bytes);
}

int registerAll() {
    benchmark::RegisterBenchmark("gif/decode/adaptive256", gifDecode)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("gif/encode/adaptive256", gifEncode)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("png/encode/photo", pngEncodePhoto)
        ->MinTime(2.0)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("png/encode/indexed256", pngEncodeIndexed)
        ->ArgName("style")
        ->Arg(stylePopularity)
        ->Arg(styleAdaptive)
        ->Arg(styleNeuquant)
        ->Unit(benchmark::kMillisecond);
    struct Named {
        const char* name;
        ImageFormat format;
    };
    for (Named f : {Named{"png", ImageFormat::Png}, Named{"jpeg", ImageFormat::Jpeg},
                    Named{"jp2", ImageFormat::Jpeg2000}, Named{"bmp", ImageFormat::Bmp},
                    Named{"webp", ImageFormat::WebP}, Named{"tiff", ImageFormat::Tiff}}) {
        benchmark::RegisterBenchmark((std::string(f.name) + "/decode").c_str(), decodePhoto,
                                     f.format)
            ->Unit(benchmark::kMillisecond);
        if (f.format != ImageFormat::Png) {
            benchmark::RegisterBenchmark((std::string(f.name) + "/encode").c_str(), encodePhoto,
                                         f.format)
                ->Unit(benchmark::kMillisecond);
        }
    }
    return 0;
}

const int registered = registerAll();

}  // namespace

BENCHMARK_MAIN();
