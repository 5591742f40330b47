#pragma once
// Small helpers for building literal test images.

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "toolkit/image.h"

// A w x h 32-bit image whose pixels are given row by row (values in the colour layout).
Image imageFromRows(int w, int h, std::initializer_list<uint32_t> values, int depth = 32);

// Deterministic pseudo-random image (all four bytes random when depth is 32, alpha 0xFF
// otherwise).
Image randomImage(int w, int h, uint32_t seed, int depth = 32);

// "" when the images are equal, else what first differs ("size WxH" or "pixel (x, y)").
std::string firstDifference(const Image& actual, const Image& expected);

// The picture row by row, rows separated by "/": '1' for a pixel of colour `c1`, '2' for
// one of `c2`, '.' for any other (alpha is ignored): how a two-colour result reads.
std::string twoColourPattern(const Image& image, uint32_t c1, uint32_t c2);

// Path of a file under tests/data.
std::string testDataPath(const std::string& relative);

// A fresh empty folder under the system's temporary directory, removed at process exit.
std::string makeTempDir();

std::vector<uint8_t> readBytes(const std::string& path);
void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// The names in a folder, sorted: what a test looks at to see that nothing was left behind.
std::vector<std::string> folderEntries(const std::string& dir);

// Runs `body` in a child process and returns its exit code (-1 when a signal ended it).
// With `asOrdinaryUser`, a child of root first becomes user and group 65534, since
// permissions do not bind root; 125 means it could not.
int runInChild(bool asOrdinaryUser, const std::function<int()>& body);
