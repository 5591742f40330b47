#pragma once
// EXIF blocks: the small part of them the codecs need. A block is a TIFF structure (byte
// order, directories of tagged entries, values by offset) and every offset in it is checked
// against the block before it is followed. Blocks are edited in place, never rebuilt, so
// that data only a camera maker understands (whose offsets point into the block) stays
// where it was.

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// What a block says about the picture it came with.
struct ExifFacts {
    int orientation = 1;  // 1..8; 1 when the block has none or an invalid one
    double xDpi = 0;      // 0 when the block gives no resolution
    double yDpi = 0;
};

// The bytes of a block found in a file, less a leading "Exif\0\0" that some writers put in
// front of the TIFF structure.
void skipExifPrefix(const uint8_t*& data, size_t& size);

// Checks a block found in a file and makes it fit to keep beside an upright picture in
// sRGB: the thumbnail goes (it shows the picture as it was), Orientation becomes 1 and a
// colour space entry says sRGB. `facts` gets what the block said first. Returns an empty
// block when `data` is not a sound TIFF structure.
std::vector<uint8_t> keepableExif(const uint8_t* data, size_t size, ExifFacts& facts);

// The block to write beside a `width` x `height` picture: its pixel dimensions and its
// resolution (when `xDpi` and `yDpi` are given) follow the picture. An empty `exif` with a
// resolution gives a block that holds only the resolution, for formats whose only place
// for one is EXIF; empty with none stays empty.
std::vector<uint8_t> exifForImage(const std::vector<uint8_t>& exif, int width, int height,
                                  double xDpi, double yDpi);

// The resolution as a TIFF rational: within 0.005 of a whole number, that number (a
// resolution that went through pixels per metre comes back so); else to 1/1000.
void dpiToRational(double dpi, uint32_t& numerator, uint32_t& denominator);

// TIFF files keep their EXIF in their own first directory. This is an EXIF block made
// from one: the entries that describe the picture (who made it and when, its orientation
// and resolution) and the EXIF and GPS directories, without the camera maker's data, whose
// offsets would not survive the move. Empty when the file holds none of it.
std::vector<uint8_t> exifFromTiffFile(const uint8_t* data, size_t size);

// For writing a TIFF file: the text entries of a block's first directory (description,
// make, model, software, date, artist, copyright) as tag and text.
std::vector<std::pair<uint16_t, std::string>> exifTextEntries(const std::vector<uint8_t>& exif);

// For writing a TIFF file: appends the block's EXIF and GPS directories to `file`, whose
// first directory already has an entry for each (with any offset), and points those
// entries at them.
void appendExifDirectories(std::vector<uint8_t>& file, const std::vector<uint8_t>& exif);
