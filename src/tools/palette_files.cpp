#include "tools/palette_files.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "toolkit/image.h"

namespace {

constexpr const char* gplHeader = "GIMP Palette";
constexpr const char* jascHeader = "JASC-PAL";
constexpr const char* jascVersion = "0100";
// Far above any real palette file; a bigger file is not one.
constexpr int64_t maxPaletteFileBytes = 1 << 20;

std::string lowerExtension(const std::string& path) {
    size_t slash = path.find_last_of('/');
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

// The text's lines without their line ends ("\n", "\r\n" or "\r"), a UTF-8 byte-order
// mark dropped from the first.
std::vector<std::string_view> splitLines(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ++end;
        start = end + 1;
    }
    return lines;
}

// Reads a whole number at the front of `s`, skipping blanks before it.
bool takeNumber(std::string_view& s, int64_t& value) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end == s.data()) return false;
    s.remove_prefix(static_cast<size_t>(end - s.data()));
    // The number must end at a blank or the end of the line ("12x" is not 12).
    return s.empty() || s.front() == ' ' || s.front() == '\t';
}

// "R G B" at the front of a line; `rest` gets what follows (a .gpl colour's name).
bool takeColour(std::string_view line, uint32_t& colour, std::string_view& rest) {
    int64_t c[3];
    for (int64_t& v : c) {
        if (!takeNumber(line, v) || v < 0 || v > 255) return false;
    }
    colour = rgb(static_cast<int>(c[0]), static_cast<int>(c[1]), static_cast<int>(c[2]));
    rest = line;
    return true;
}

std::string quoted(std::string_view line) {
    constexpr size_t shown = 40;
    std::string text(line.substr(0, shown));
    for (char& ch : text) {
        if (!std::isprint(static_cast<unsigned char>(ch))) ch = '?';
    }
    if (line.size() > shown) text += "...";
    return "\"" + text + "\"";
}

std::string badColourLine(size_t lineIndex, std::string_view line) {
    return "line " + std::to_string(lineIndex + 1) +
           ": expected red, green and blue values from 0 to 255, found " + quoted(line);
}

std::string tooMany() {
    return "it holds more than " + std::to_string(maxPaletteFileColours) + " colors";
}

PaletteReadResult failed(std::string error) {
    return PaletteReadResult{{}, std::move(error)};
}

PaletteReadResult decodeGpl(std::string_view data) {
    std::vector<std::string_view> lines = splitLines(data);
    if (lines.empty() || trimmed(lines[0]) != gplHeader) {
        return failed("not a GIMP palette: its first line must read \"GIMP Palette\"");
    }
    PaletteReadResult result;
    for (size_t i = 1; i < lines.size(); ++i) {
        std::string_view line = trimmed(lines[i]);
        if (line.empty() || line.front() == '#' || line.starts_with("Name:") ||
            line.starts_with("Columns:")) {
            continue;
        }
        uint32_t colour = 0;
        std::string_view name;
        if (!takeColour(line, colour, name)) return failed(badColourLine(i, line));
        if (result.colours.size() == maxPaletteFileColours) return failed(tooMany());
        result.colours.push_back(colour);
    }
    if (result.colours.empty()) return failed("it holds no colors");
    return result;
}

PaletteReadResult decodeJasc(std::string_view data) {
    if (data.starts_with("RIFF")) {
        return failed("a RIFF palette, not a JASC one: only JASC .pal files are read");
    }
    std::vector<std::string_view> lines = splitLines(data);
    if (lines.size() < 3 || trimmed(lines[0]) != jascHeader || trimmed(lines[1]) != jascVersion) {
        return failed("not a JASC palette: it must begin with the lines \"JASC-PAL\" and \"0100\"");
    }
    std::string_view countText = trimmed(lines[2]);
    int64_t count = 0;
    auto [end, ec] = std::from_chars(countText.data(), countText.data() + countText.size(), count);
    if (ec != std::errc() || end != countText.data() + countText.size()) {
        return failed("line 3: expected the number of colors, found " + quoted(countText));
    }
    if (count <= 0) return failed("it holds no colors");
    PaletteReadResult result;
    size_t i = 3;
    // A count above the limit is only "too many" when the colours are there: a file that
    // announces more than it holds is damaged, whatever it announces.
    for (; i < lines.size() && static_cast<int64_t>(result.colours.size()) < count; ++i) {
        std::string_view line = trimmed(lines[i]);
        uint32_t colour = 0;
        std::string_view rest;
        if (!takeColour(line, colour, rest) || !trimmed(rest).empty()) {
            return failed(badColourLine(i, line));
        }
        result.colours.push_back(colour);
    }
    if (static_cast<int64_t>(result.colours.size()) < count) {
        const std::string held =
            result.colours.empty() ? "none" : "only " + std::to_string(result.colours.size());
        return failed("it announces " + std::to_string(count) + " colors but holds " + held);
    }
    if (count > static_cast<int64_t>(maxPaletteFileColours)) return failed(tooMany());
    for (; i < lines.size(); ++i) {
        if (!trimmed(lines[i]).empty()) {
            return failed("line " + std::to_string(i + 1) + ": more colors than the " +
                          std::to_string(count) + " announced on line 3");
        }
    }
    return result;
}

PaletteReadResult decodeAct(std::string_view data) {
    if (data.size() != actTableBytes && data.size() != actCountedBytes) {
        return failed("a .act palette is " + std::to_string(actTableBytes) + " bytes (or " +
                      std::to_string(actCountedBytes) + " with a color count); this one is " +
                      std::to_string(data.size()));
    }
    auto byte = [&data](size_t i) { return static_cast<unsigned char>(data[i]); };
    size_t count = maxPaletteFileColours;
    if (data.size() == actCountedBytes) {
        count = static_cast<size_t>(byte(768)) << 8 | byte(769);
        if (count == 0) return failed("it holds no colors");
        if (count > maxPaletteFileColours) return failed(tooMany());
    }
    PaletteReadResult result;
    for (size_t i = 0; i < count; ++i) {
        result.colours.push_back(rgb(byte(3 * i), byte(3 * i + 1), byte(3 * i + 2)));
    }
    return result;
}

std::string encodeGpl(std::span<const uint32_t> colours) {
    std::string out = std::string(gplHeader) + "\n";
    char line[64];
    for (uint32_t c : colours) {
        std::snprintf(line, sizeof line, "%3d %3d %3d\t#%02X%02X%02X\n", redOf(c), greenOf(c),
                      blueOf(c), redOf(c), greenOf(c), blueOf(c));
        out += line;
    }
    return out;
}

std::string encodeJasc(std::span<const uint32_t> colours) {
    // The format comes from a Windows program; its files end their lines with CR LF.
    std::string out = std::string(jascHeader) + "\r\n" + jascVersion + "\r\n" +
                      std::to_string(colours.size()) + "\r\n";
    for (uint32_t c : colours) {
        out += std::to_string(redOf(c)) + " " + std::to_string(greenOf(c)) + " " +
               std::to_string(blueOf(c)) + "\r\n";
    }
    return out;
}

std::string encodeAct(std::span<const uint32_t> colours) {
    const bool counted = colours.size() < maxPaletteFileColours;
    std::string out(counted ? actCountedBytes : actTableBytes, '\0');
    for (size_t i = 0; i < colours.size(); ++i) {
        out[3 * i] = static_cast<char>(redOf(colours[i]));
        out[3 * i + 1] = static_cast<char>(greenOf(colours[i]));
        out[3 * i + 2] = static_cast<char>(blueOf(colours[i]));
    }
    if (counted) {
        out[768] = static_cast<char>(colours.size() >> 8);
        out[769] = static_cast<char>(colours.size() & 255);
        // No transparent entry.
        out[770] = static_cast<char>(0xFF);
        out[771] = static_cast<char>(0xFF);
    }
    return out;
}

std::string unknownFormat() {
    return "unknown palette format: the name must end in .gpl, .pal or .act";
}

}  // namespace

PaletteFormat paletteFormatFromPath(const std::string& path) {
    std::string ext = lowerExtension(path);
    if (ext == "gpl") return PaletteFormat::Gpl;
    if (ext == "pal") return PaletteFormat::JascPal;
    if (ext == "act") return PaletteFormat::Act;
    return PaletteFormat::Unknown;
}

std::string paletteCountProblem(const std::string& holder, int64_t colours) {
    if (colours <= 0) return holder + " holds no colors";
    if (colours > static_cast<int64_t>(maxPaletteFileColours)) {
        return holder + " holds " + std::to_string(colours) +
               " colors; a palette file holds at most " + std::to_string(maxPaletteFileColours);
    }
    return "";
}

std::string paletteWriteProblem(std::span<const uint32_t> colours) {
    return paletteCountProblem("the palette", static_cast<int64_t>(colours.size()));
}

std::string encodePalette(std::span<const uint32_t> colours, PaletteFormat format) {
    if (!paletteWriteProblem(colours).empty()) return "";
    switch (format) {
        case PaletteFormat::Gpl:
            return encodeGpl(colours);
        case PaletteFormat::JascPal:
            return encodeJasc(colours);
        case PaletteFormat::Act:
            return encodeAct(colours);
        case PaletteFormat::Unknown:
            break;
    }
    return "";
}

PaletteReadResult decodePalette(std::string_view data, PaletteFormat format) {
    switch (format) {
        case PaletteFormat::Gpl:
            return decodeGpl(data);
        case PaletteFormat::JascPal:
            return decodeJasc(data);
        case PaletteFormat::Act:
            return decodeAct(data);
        case PaletteFormat::Unknown:
            break;
    }
    return failed(unknownFormat());
}

std::string writePaletteFile(const std::string& path, std::span<const uint32_t> colours) {
    PaletteFormat format = paletteFormatFromPath(path);
    if (format == PaletteFormat::Unknown) return unknownFormat();
    std::string problem = paletteWriteProblem(colours);
    if (!problem.empty()) return problem;
    std::string bytes = encodePalette(colours, format);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return std::string("cannot be written: ") + std::strerror(errno);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) return "cannot be written: the disk may be full";
    return "";
}

PaletteReadResult readPaletteFile(const std::string& path) {
    PaletteFormat format = paletteFormatFromPath(path);
    if (format == PaletteFormat::Unknown) return failed(unknownFormat());
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return failed(std::string("cannot be read: ") + std::strerror(errno));
    }
    if (!S_ISREG(info.st_mode)) return failed("not a file");
    if (info.st_size > maxPaletteFileBytes) return failed("far too large for a palette file");
    std::ifstream in(path, std::ios::binary);
    if (!in) return failed(std::string("cannot be read: ") + std::strerror(errno));
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return decodePalette(bytes.str(), format);
}
