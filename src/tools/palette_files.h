#pragma once
// Palettes as files, in the three formats people trade them in:
//   .gpl  plain text: a "GIMP Palette" line, then one "R G B name" line per colour;
//   .pal  JASC text: "JASC-PAL", "0100", the colour count, then one "R G B" line each;
//   .act  binary: 256 RGB triplets (768 bytes), optionally followed by a big-endian colour
//         count and transparent index (772 bytes).
// Colours are in the program's layout (r | g << 8 | b << 16). A palette file holds 1 to
// 256 colours; anything else is refused with a message and nothing is produced.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

enum class PaletteFormat { Unknown, Gpl, JascPal, Act };

inline constexpr size_t maxPaletteFileColours = 256;
inline constexpr size_t actTableBytes = 768;
inline constexpr size_t actCountedBytes = 772;

// The format a path's extension names (case ignored).
PaletteFormat paletteFormatFromPath(const std::string& path);

struct PaletteReadResult {
    std::vector<uint32_t> colours;
    std::string error;  // "" on success
    bool ok() const { return error.empty(); }
};

// The file's bytes. A .act of fewer than 256 colours gets the 772-byte form with the count,
// so it reads back with exactly those colours. "" when the palette cannot be written (no
// colours, or more than 256).
std::string encodePalette(std::span<const uint32_t> colours, PaletteFormat format);

// Reads a palette from a file's bytes; the error names the line that is wrong.
PaletteReadResult decodePalette(std::string_view data, PaletteFormat format);

// Why a palette cannot be written ("" when it can).
std::string paletteWriteProblem(std::span<const uint32_t> colours);
// Why the colours of `holder` ("the image", "the selection"), `colours` of them, cannot
// make a palette file ("" when they can).
std::string paletteCountProblem(const std::string& holder, int64_t colours);

// Writes the palette in the format the path's extension names; returns "" or the reason
// it was not written. A palette that cannot be written never touches the file.
std::string writePaletteFile(const std::string& path, std::span<const uint32_t> colours);

// Reads a palette in the format the path's extension names.
PaletteReadResult readPaletteFile(const std::string& path);
