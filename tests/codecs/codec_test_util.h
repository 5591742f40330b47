#pragma once
// Helpers shared by the codec tests.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "support/test_images.h"
#include "toolkit/image.h"

// Every regular file under tests/data/<folder> whose name ends in `extension` (any
// extension when empty, but never the .md notes), sorted.
std::vector<std::string> dataFiles(const std::string& folder, const std::string& extension = "");

// A smooth picture: gentle gradients in every channel (and in alpha at depth 32), the
// kind of content lossy codecs keep well.
Image smoothImage(int w, int h, int depth);

// Largest difference of any channel (alpha included) between two same-sized images.
int maxChannelDifference(const Image& a, const Image& b);

// Little-endian byte builders for hand-made files.
void appendLe16(std::vector<uint8_t>& out, uint32_t v);
void appendLe32(std::vector<uint8_t>& out, uint32_t v);

// A PNG file made chunk by chunk, with correct CRCs: IHDR from the arguments, then
// `extra` chunks (type and data, e.g. PLTE, tRNS), then one IDAT holding `scanlines`
// (each row with its filter byte) deflated, then IEND.
struct PngChunk {
    std::string type;
    std::vector<uint8_t> data;
};
std::vector<uint8_t> pngChunkBytes(const PngChunk& chunk);
std::vector<uint8_t> handMadePng(uint32_t width, uint32_t height, int bitDepth, int colourType,
                                 const std::vector<uint8_t>& scanlines,
                                 const std::vector<PngChunk>& extra = {}, bool withEnd = true);

// Lets test failures show an image's size, depth and pixels rather than raw bytes.
void PrintTo(const Image& image, std::ostream* out);

// True when `text` occurs among `bytes`.
bool containsBytesOf(const std::vector<uint8_t>& bytes, const std::string& text);
