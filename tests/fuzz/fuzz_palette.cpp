// libFuzzer target: the palette-file reader on arbitrary bytes, read as each of the three
// formats. Whatever it accepts is 1 to 256 plain colours that write and read back the same.

#include <string_view>

#include "contract.h"
#include "tools/palette_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (PaletteFormat format : {PaletteFormat::Gpl, PaletteFormat::JascPal, PaletteFormat::Act}) {
        PaletteReadResult read = decodePalette(bytes, format);
        if (!read.ok()) {
            if (!read.colours.empty()) contractBroken("a refused palette gave colours");
            continue;
        }
        if (read.colours.empty() || read.colours.size() > maxPaletteFileColours) {
            contractBroken("an accepted palette holds no colours or more than 256");
        }
        for (uint32_t colour : read.colours) {
            if (colour > colourMask) contractBroken("a palette colour has bits above blue");
        }
        const std::string again = encodePalette(read.colours, format);
        if (again.empty()) contractBroken("an accepted palette could not be written");
        PaletteReadResult back = decodePalette(again, format);
        if (!back.ok() || back.colours != read.colours) {
            contractBroken("a palette written and read again changed");
        }
    }
    return 0;
}
