#pragma once
// Helpers shared by the codec tests.

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "toolkit/image.h"

std::vector<uint8_t> readBytes(const std::string& path);
void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// Every regular file under tests/data/<folder> whose name ends in `extension` (any
// extension when empty), sorted.
std::vector<std::string> dataFiles(const std::string& folder, const std::string& extension = "");

// A smooth picture: gentle gradients in every channel (and in alpha at depth 32), the
// kind of content lossy codecs keep well.
Image smoothImage(int w, int h, int depth);

// Largest difference of any channel (alpha included) between two same-sized images.
int maxChannelDifference(const Image& a, const Image& b);

// Little-endian byte builders for hand-made files.
void appendLe16(std::vector<uint8_t>& out, uint32_t v);
void appendLe32(std::vector<uint8_t>& out, uint32_t v);

// Lets test failures show an image's size, depth and pixels rather than raw bytes.
void PrintTo(const Image& image, std::ostream* out);
