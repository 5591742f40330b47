#include "batch/batch.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <sstream>
#include <string_view>

#include "adjust/blur.h"
#include "adjust/brightness.h"
#include "adjust/colour_ops.h"
#include "adjust/effects.h"
#include "canvas/geometry.h"
#include "core/rect.h"
#include "manual/roff.h"
#include "quantize/adaptive_quantize.h"
#include "quantize/best_quantize.h"
#include "quantize/error_figure.h"
#include "quantize/formula_quantize.h"
#include "quantize/palette_map.h"
#include "quantize/palettes.h"
#include "quantize/quantize.h"
#include "quantize/style_comparison.h"
#include "quantize/two_colors.h"
#include "toolkit/atomic_file.h"
#include "toolkit/codecs/codec.h"
#include "toolkit/codecs/gif.h"
#include "toolkit/parallel.h"
#include "tools/palette_files.h"

#ifndef PIXOVA_VERSION
#define PIXOVA_VERSION "unknown"
#endif

namespace fs = std::filesystem;

namespace {

constexpr const char* usageText =
    "usage: pixova-batch [OPTION ...] INPUT [OUTPUT]\n"
    "       pixova-batch [OPTION ...] INPUT -o OUTPUT\n"
    "       pixova-batch [OPTION ...] INPUT ... --out-dir DIR | --ext SUFFIX\n"
    "       (pixova-batch --help for the options)";

// Paragraphs, each wrapped to the width of wherever it is shown.
const std::vector<std::string>& introParagraphs() {
    static const std::vector<std::string> text = {
        "Runs Pixova's operations on each INPUT in the order given, and writes the result "
        "to OUTPUT in the format its extension names (.png .jpg .jpeg .jp2 .bmp .gif .webp "
        ".tif .tiff), with the same encoders and qualities as Save; an image of at most 256 "
        "colours becomes an indexed PNG, GIF or TIFF and a lossless WebP. A phone's picture is "
        "turned upright and an embedded colour profile converted to sRGB as it is read; its "
        "resolution and EXIF go into the output unless --strip is given. A GIF holds no "
        "partial transparency: pixels below alpha 128 become transparent, the rest opaque; "
        "and a GIF of more than 256 colours is reduced with Best quality, dithered; a note "
        "says so. With --out-dir or --ext, works on every INPUT, several at once; a file "
        "that fails is reported and the others go on. '-' as INPUT reads standard input, "
        "'-' as OUTPUT writes standard output.",
        "An output that exists is never replaced without --force, and with --force it is "
        "replaced whole or not at all.",
    };
    return text;
}

struct ExitStatus {
    int code;
    const char* meaning;
};

const std::vector<ExitStatus>& exitStatuses() {
    static const std::vector<ExitStatus> table = {
        {batchOk, "every file was done"},
        {batchFileError,
         "a file could not be read or written, or an output exists and --force was not given; "
         "the other files were done"},
        {batchUsageError,
         "a usage error: an unknown option, a value out of range, nothing to write; nothing "
         "was done"},
        {batchSkippedLarger,
         "--skip-if-larger left an output unwritten because it would have been larger than "
         "its input, and nothing failed"},
        {batchTargetMissed,
         "--target-de: even 256 colours missed the mean Delta E asked for, and the "
         "256-colour result was written; nothing failed"},
    };
    return table;
}

struct Example {
    const char* command;
    const char* what;
};

const std::vector<Example>& examples() {
    static const std::vector<Example> table = {
        {"pixova-batch photo.jpg --quantize adaptive --limit 16 --dither -o small.png",
         "Reduces a photograph to 16 colours with dithering and writes an indexed PNG."},
        {"pixova-batch photos/*.jpg --quantize adaptive --limit 256 --out-dir small --format png",
         "Reduces a folder of photographs, several at once, into the folder small."},
        {"pixova-batch *.jpg --gray --ext -gray.jpg --quality 90",
         "Writes a gray copy beside each photograph: photo.jpg gives photo-gray.jpg."},
        {"pixova-batch photo.png --negative --force photo.png",
         "Replaces a file by its negative; without --force the file is left alone."},
        {"cat in.bmp | pixova-batch - --mirror -o - --format png > out.png",
         "Reads standard input and writes standard output."},
        {"pixova-batch photo.png --quantize adaptive --limit 64 --report",
         "Prints the colours, PSNR and mean Delta E that 64 colours would give."},
        {"pixova-batch icon.png --quantize best --limit 64 --dither -o small.png",
         "Best quality: 64 colours with alpha, dithered where it helps, as an indexed PNG."},
        {"pixova-batch photo.png --quantize best --target-de 2 -o small.png",
         "The fewest colours whose mean Delta E from the photograph is at most 2."},
        {"pixova-batch photo.png --compare",
         "Every style with and without dither, with its figures, best first."},
    };
    return table;
}

// --compare runs the styles that take a colour LIMIT at this many colours, as the fixed
// palettes of 256 have.
constexpr int compareColours = 256;

// The batch name of the Gaussian blur, which is an effect of the menu but not one of the
// pass recipes.
constexpr std::string_view blurEffectName = "gaussianblur";

// Help columns: options are indented by two, their text starts at column 22, and no line
// is longer than 80 characters.
constexpr size_t helpIndent = 22;
constexpr size_t helpWidth = 80;

// Names of the standard streams in messages.
constexpr const char* standardInputName = "(standard input)";
constexpr const char* standardOutputName = "(standard output)";
constexpr const char* standardStream = "-";

struct UsageError {
    std::string message;
};

// A file other than the input or output cannot be read or written (a palette file).
struct FileError {
    std::string message;
};

// One image on its way through the steps.
struct Context {
    Image image;
    ImageMetadata metadata;      // beside the image, from the input to the output
    std::optional<Rect> select;  // image rectangle; none = whole image
    std::ostream* out = nullptr;
    Image input;  // the image as read, kept only when a step compares against it
    bool force = false;
    std::string targetMissed;  // why a --target-de could not be met, when it could not

    Rect rect() const { return select ? *select : wholeImage(image); }
};

using Step = std::function<void(Context&)>;

// LIMIT and Dither of one --quantize.
struct QuantizeSettings {
    int style = 0;
    std::optional<int> limit;
    bool dither = false;
    std::optional<double> targetDeltaE;  // --target-de: the LIMIT is searched for
};

// What the command line asks for, built up option by option.
struct Plan {
    std::vector<std::string> positional;
    std::vector<Step> steps;
    // Positions of the last option that changes the pixels and of the last one that reads
    // them (prints a result); -1 for none. A change with nothing reading or writing it
    // afterwards would be lost.
    int lastChange = -1;
    int lastRead = -1;
    std::string firstReader;  // the first option that prints, for messages
    std::optional<std::string> outDir;
    std::optional<std::string> output;  // -o, or the second of INPUT OUTPUT
    bool outputPositional = false;
    std::optional<std::string> ext;
    bool paletteOut = false;
    std::optional<ImageFormat> format;
    EncodeOptions encoding;
    bool strip = false;  // write no resolution or EXIF
    bool force = false;
    bool quiet = false;
    bool skipIfLarger = false;
    bool help = false;
    bool version = false;
    bool keepInput = false;  // a step compares the image with the input
    // --limit and --dither belong to the next --quantize; given after the last one, they
    // belong to that one ("--quantize adaptive --limit 16 --dither").
    QuantizeSettings pendingQuantize;
    bool pendingSet = false;
    std::vector<std::shared_ptr<QuantizeSettings>> quantizes;
};

// What an option does to the image.
enum class Role {
    Setting,  // selects, configures or asks for help
    Changes,  // changes the pixels, so the result must be written or read
    Reads,    // prints something about the image as it stands
};

// One command-line option. Adding an option is adding one entry to optionTable().
struct Option {
    std::string name;   // "--negative"
    std::string value;  // its value in the help ("STYLE"); empty when it takes none
    std::string help;   // one paragraph, wrapped where it is shown
    Role role;
    std::function<void(Plan&, const std::string& value)> apply;
    char shortName = 0;  // 'o' for -o
};

int parseInteger(const std::string& text, const std::string& option) {
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
        throw UsageError{option + ": not a whole number: '" + text + "'"};
    }
    return value;
}

std::vector<std::string> splitCommas(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t comma = text.find(',', start);
        parts.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return parts;
}

// `text` in lines of at most `width` characters, broken at spaces.
std::vector<std::string> wrapped(const std::string& text, size_t width) {
    std::vector<std::string> lines;
    std::istringstream words(text);
    std::string line;
    for (std::string word; words >> word;) {
        if (!line.empty() && line.size() + 1 + word.size() > width) {
            lines.push_back(line);
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

std::vector<std::string> styleNames() {
    std::vector<std::string> names;
    for (const StyleInfo& style : quantizeStyles()) names.emplace_back(style.batchName);
    return names;
}

std::vector<std::string> effectNames() {
    std::vector<std::string> names{std::string(blurEffectName)};
    for (const EffectRecipe& recipe : effectRecipes()) {
        names.push_back(normalisedName(std::string(recipe.caption)));
    }
    return names;
}

std::string rangeText(int low, int high) {
    return std::to_string(low) + ".." + std::to_string(high);
}

// "--contrast 300: takes -100 to 100": a value out of range is a usage error that says
// what the range is.
UsageError outOfRange(const std::string& option, const std::string& value, int low, int high,
                      const std::string& what = "") {
    return UsageError{option + " " + value + ": " + (what.empty() ? "" : what + " ") + "takes " +
                      std::to_string(low) + " to " + std::to_string(high)};
}

// ---- Steps ----

Step selectStep(const std::string& value) {
    std::vector<std::string> parts = splitCommas(value);
    if (parts.size() != 4) throw UsageError{"--select: expected L,T,R,B, got '" + value + "'"};
    Rect r{parseInteger(parts[0], "--select"), parseInteger(parts[1], "--select"),
           parseInteger(parts[2], "--select"), parseInteger(parts[3], "--select")};
    if (r.empty())
        throw UsageError{"--select: right and bottom must not be left of or above left and top"};
    return [r](Context& c) {
        if (r.left < 0 || r.top < 0 || r.right >= c.image.width || r.bottom >= c.image.height) {
            throw UsageError{"--select: " + std::to_string(r.left) + "," + std::to_string(r.top) +
                             "," + std::to_string(r.right) + "," + std::to_string(r.bottom) +
                             " is not inside the " + std::to_string(c.image.width) + " x " +
                             std::to_string(c.image.height) + " image"};
        }
        c.select = r;
    };
}

void addQuantize(Plan& plan, const std::string& value) {
    int style = styleFromBatchName(normalisedName(value));
    if (style < 0) throw UsageError{"--quantize: unknown style '" + value + "'"};
    auto settings = std::make_shared<QuantizeSettings>(plan.pendingQuantize);
    settings->style = style;
    plan.pendingQuantize = QuantizeSettings{};
    plan.pendingSet = false;
    plan.quantizes.push_back(settings);
    plan.steps.push_back([style, settings](Context& c) {
        if (settings->targetDeltaE) {
            const double wanted = *settings->targetDeltaE;
            const BestTarget target =
                bestQuantizeToTarget(c.image, c.rect(), wanted, settings->dither);
            if (!target.met) {
                char text[160];
                std::snprintf(text, sizeof text,
                              "--target-de %g: even %d colours give mean dE %.3f; the %d-colour "
                              "result is written",
                              wanted, target.limit, target.meanDeltaE, target.limit);
                c.targetMissed = text;
            }
            return;
        }
        int limit = settings->limit.value_or(styleInfo(style).defaultLimit);
        if (auto palette = runQuantizeStyle(c.image, c.rect(), style, limit, settings->dither)) {
            currentPalette = std::move(*palette);
        }
    });
}

// A number of at least 0: "1.5", "2", "0".
double parseTargetDeltaE(const std::string& text) {
    double value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(value)) {
        throw UsageError{"--target-de: not a number: '" + text + "'"};
    }
    if (value < 0) throw UsageError{"--target-de " + text + ": takes 0 or more"};
    return value;
}

// --target-de chooses the LIMIT of best quality itself.
void checkTarget(const QuantizeSettings& settings) {
    if (!settings.targetDeltaE) return;
    const StyleInfo& info = styleInfo(settings.style);
    if (settings.style != styleBest) {
        throw UsageError{std::string("--target-de goes with --quantize best, not ") +
                         info.batchName};
    }
    if (settings.limit) {
        throw UsageError{"--target-de chooses the LIMIT itself: give --limit or --target-de"};
    }
}

// Prints every style with and without dither, best first by mean Delta E.
void compareStep(Context& c) {
    const std::vector<StyleComparison> rows = compareStyles(c.image, c.rect(), compareColours);
    char line[160];
    std::snprintf(line, sizeof line, "%-13s %-6s %8s %9s %9s %11s %8s\n", "style", "dither",
                  "colours", "PSNR dB", "mean dE", "PNG bytes", "ms");
    *c.out << line;
    for (const StyleComparison& row : rows) {
        std::snprintf(line, sizeof line, "%-13s %-6s %8lld %9.2f %9.3f %11lld%s %8.0f\n",
                      styleInfo(row.style).batchName, row.dither ? "yes" : "no",
                      static_cast<long long>(row.colours), row.psnr, row.meanDeltaE,
                      static_cast<long long>(row.pngBytes), row.indexed ? " " : "*",
                      row.milliseconds);
        *c.out << line;
    }
    *c.out << "(* not indexed: more than 256 colours)\n";
}

// A --limit the style cannot take is refused rather than brought into range: the user
// would otherwise get another result than asked for, without a word.
void checkLimit(const QuantizeSettings& settings) {
    if (!settings.limit) return;
    const StyleInfo& info = styleInfo(settings.style);
    const std::string given = "--limit " + std::to_string(*settings.limit);
    if (!info.usesLimit) {
        throw UsageError{given + ": " + info.batchName + " has a fixed palette of " +
                         std::to_string(info.paletteSize) + " colours and takes no --limit"};
    }
    if (*settings.limit < info.minLimit || *settings.limit > info.maxLimit) {
        const bool levels = settings.style == styleUniform;
        throw UsageError{given + ": " + info.batchName + " takes " + std::to_string(info.minLimit) +
                         " to " + std::to_string(info.maxLimit) +
                         (levels ? " levels per channel" : " colours")};
    }
}

Step effectStep(const std::string& value) {
    std::string name = normalisedName(value);
    if (name == blurEffectName) {
        return [](Context& c) { blurRect(c.image, c.rect()); };
    }
    for (const EffectRecipe& recipe : effectRecipes()) {
        if (normalisedName(std::string(recipe.caption)) == name) {
            int id = recipe.commandId;
            return [id](Context& c) { applyEffect(c.image, c.rect(), id); };
        }
    }
    throw UsageError{"--effect: unknown effect '" + value + "'"};
}

Step brightnessStep(const std::string& value) {
    std::vector<std::string> parts = splitCommas(value);
    BrightnessSettings s;
    s.amount = parseInteger(parts[0], "--brightness");
    if (s.amount < minBrightnessAmount || s.amount > maxBrightnessAmount) {
        throw outOfRange("--brightness", parts[0], minBrightnessAmount, maxBrightnessAmount,
                         "the amount");
    }
    s.limitOption = LimitOption::HoldRatio;
    s.ratioMode = true;
    s.proportional = false;
    bool channelNamed = false;
    bool red = false, green = false, blue = false;
    for (size_t i = 1; i < parts.size(); ++i) {
        const std::string& p = parts[i];
        if (p == "hold")
            s.limitOption = LimitOption::HoldRatio;
        else if (p == "clamp")
            s.limitOption = LimitOption::Clamp;
        else if (p == "wrap")
            s.limitOption = LimitOption::Wrap;
        else if (p == "ratio")
            s.ratioMode = true;
        else if (p == "equal")
            s.ratioMode = false;
        else if (p == "proportional")
            s.proportional = true;
        else if (p == "r")
            channelNamed = red = true;
        else if (p == "g")
            channelNamed = green = true;
        else if (p == "b")
            channelNamed = blue = true;
        else
            throw UsageError{"--brightness: unknown setting '" + p + "'"};
    }
    if (channelNamed) {
        s.enableRed = red;
        s.enableGreen = green;
        s.enableBlue = blue;
    }
    return [s](Context& c) { applyBrightness(c.image, c.rect(), s); };
}

Step contrastStep(const std::string& value) {
    int amount = parseInteger(value, "--contrast");
    if (amount < minContrastAmount || amount > maxContrastAmount) {
        throw outOfRange("--contrast", value, minContrastAmount, maxContrastAmount, "the amount");
    }
    return [amount](Context& c) { applyContrast(c.image, c.rect(), amount); };
}

// ---- Geometry ----

// "WxH" of --resize and --canvas.
std::pair<int, int> parseSize(const std::string& text, const std::string& option) {
    size_t x = text.find('x');
    if (x == std::string::npos) {
        throw UsageError{option + ": expected WxH, got '" + text + "'"};
    }
    return {parseInteger(text.substr(0, x), option), parseInteger(text.substr(x + 1), option)};
}

Step rotateStep(const std::string& value) {
    if (value == "180") return [](Context& c) { rotateHalfPixels(c.image, c.rect()); };
    if (value != "right" && value != "left") {
        throw UsageError{"--rotate: expected right, left or 180, got '" + value + "'"};
    }
    bool clockwise = value == "right";
    // A quarter turn takes the whole image and, as in the editor, drops the rectangle.
    return [clockwise](Context& c) {
        rotateQuarterPixels(c.image, clockwise);
        std::swap(c.metadata.xDpi, c.metadata.yDpi);
        c.select.reset();
    };
}

Step resizeStep(const std::string& value) {
    auto [width, height] = parseSize(value, "--resize");
    if (std::min(width, height) < smallestResizeSide || std::max(width, height) > largestNewSide) {
        throw outOfRange("--resize", value, smallestResizeSide, largestNewSide, "each side");
    }
    return [width, height](Context& c) {
        c.image = resampleMitchell(c.image, width, height);
        c.select.reset();
    };
}

// "RRGGBB", red first as colours are usually written.
uint32_t parseColour(const std::string& text, const std::string& option) {
    uint32_t rrggbb = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), rrggbb, 16);
    if (text.size() != 6 || ec != std::errc() || end != text.data() + text.size()) {
        throw UsageError{option + ": expected a colour RRGGBB, got '" + text + "'"};
    }
    return rgb(static_cast<int>(rrggbb >> 16), static_cast<int>((rrggbb >> 8) & 255),
               static_cast<int>(rrggbb & 255));
}

Step canvasStep(const std::string& value) {
    std::vector<std::string> parts = splitCommas(value);
    auto [w, h] = parseSize(parts[0], "--canvas");
    int position = centreAnchor;
    uint32_t background = 0;
    bool positionGiven = false, colourGiven = false;
    for (size_t i = 1; i < parts.size(); ++i) {
        const std::string& part = parts[i];
        if (part.size() == 1 && !positionGiven && !colourGiven) {
            position = parseInteger(part, "--canvas");
            if (position < firstAnchor || position > lastAnchor) {
                throw outOfRange("--canvas", value, firstAnchor, lastAnchor, "POSITION");
            }
            positionGiven = true;
        } else if (!colourGiven) {
            background = parseColour(part, "--canvas");
            colourGiven = true;
        } else {
            throw UsageError{"--canvas: expected WxH[,POSITION][,RRGGBB], got '" + value + "'"};
        }
    }
    if (std::min(w, h) < 1 || std::max(w, h) > largestNewSide) {
        throw outOfRange("--canvas", parts[0], 1, largestNewSide, "each side");
    }
    return [w, h, position, background, size = parts[0]](Context& c) {
        if (w < c.image.width || h < c.image.height) {
            throw UsageError{"--canvas " + size + ": smaller than the " +
                             std::to_string(c.image.width) + " x " +
                             std::to_string(c.image.height) + " image; a canvas only grows"};
        }
        c.image = extendCanvas(c.image, w, h, position, background);
        c.select.reset();
    };
}

void cropStep(Context& c) {
    if (!c.select) throw UsageError{"--crop: needs a --select rectangle before it"};
    Rect r = *c.select;
    c.image = copyRect(c.image, r.left, r.top, r.right, r.bottom);
    c.select.reset();
}

Step twoColorsStep(const std::string& value) {
    const std::string option = "--two-colors";
    std::vector<std::string> parts = splitCommas(value);
    const int slider = parseInteger(parts[0], option);
    if (slider < 0 || slider > twoColorsSliderMax) {
        throw outOfRange(option, value, 0, twoColorsSliderMax, "T");
    }
    size_t next = 1;
    TwoColorsDither dither = TwoColorsDither::None;
    if (next < parts.size()) {
        if (std::optional<TwoColorsDither> named = twoColorsDitherFromName(parts[next])) {
            dither = *named;
            ++next;
        }
    }
    uint32_t colour1 = twoColorsDefault1, colour2 = twoColorsDefault2;
    if (parts.size() - next == 2) {
        colour1 = parseColour(parts[next], option);
        colour2 = parseColour(parts[next + 1], option);
    } else if (parts.size() != next) {
        throw UsageError{option + ": expected T[,none|ordered|sierra][,RRGGBB,RRGGBB], got '" +
                         value + "'"};
    }
    const int threshold = thresholdFromSlider(slider);
    return [=](Context& c) { twoColors(c.image, c.rect(), threshold, dither, colour1, colour2); };
}

void reportStep(Context& c) {
    if (c.image.width != c.input.width || c.image.height != c.input.height) {
        *c.out << countUniqueColours(c.image, c.rect())
               << " colors | not comparable: " << c.input.width << " x " << c.input.height
               << " then, " << c.image.width << " x " << c.image.height << " now\n";
        return;
    }
    *c.out << errorFigureText(measureError(c.input, c.image, c.rect())) << "\n";
}

// Prints how far the image as it stands lies from the image in `path` (its original),
// read now so that a file that cannot be read stops the run before anything is written.
void addMeasure(Plan& plan, const std::string& path) {
    DecodeResult original = readImageFile(path);
    if (!original.ok()) throw FileError{path + ": " + original.error};
    auto reference = std::make_shared<const Image>(std::move(original.image));
    plan.steps.push_back([reference, path](Context& c) {
        const Image& o = *reference;
        if (c.image.width != o.width || c.image.height != o.height) {
            throw FileError{path + ": " + std::to_string(o.width) + " x " +
                            std::to_string(o.height) + ", the image " +
                            std::to_string(c.image.width) + " x " + std::to_string(c.image.height) +
                            ": not comparable"};
        }
        const ErrorFigure f = measureError(o, c.image);
        char text[200];
        std::snprintf(text, sizeof text,
                      "%lld colors | PSNR %.2f dB | mean dE %.3f | blurred dE %.3f | "
                      "RGBA PSNR %.2f dB\n",
                      static_cast<long long>(f.colours), f.psnr, f.meanDeltaE,
                      blurredDeltaE(o, c.image), premultipliedPsnr(o, c.image));
        *c.out << text;
    });
}

void countStep(Context& c) {
    Rect r = c.rect();
    int64_t n = coversWholeImage(r, c.image)
                    ? countUniqueColours(c.image)
                    : countUniqueColours(copyRect(c.image, r.left, r.top, r.right, r.bottom));
    *c.out << n << "\n";
}

// Writes the distinct colours of the rectangle, in the order they first appear, as a
// palette file.
Step paletteOutStep(const std::string& path) {
    if (paletteFormatFromPath(path) == PaletteFormat::Unknown) {
        throw UsageError{"--palette-out: '" + path + "' must end in .gpl, .pal or .act"};
    }
    return [path](Context& c) {
        Rect r = c.rect();
        // One colour past what a file holds is enough to tell it is too many.
        std::vector<uint32_t> colours = distinctColours(
            coversWholeImage(r, c.image) ? c.image
                                         : copyRect(c.image, r.left, r.top, r.right, r.bottom),
            maxPaletteFileColours + 1);
        if (colours.size() > maxPaletteFileColours) {
            throw FileError{path + ": the image holds more than " +
                            std::to_string(maxPaletteFileColours) +
                            " colors, more than a palette file holds"};
        }
        // The same rule as for images: nothing existing is replaced unless asked to.
        std::error_code ec;
        if (!c.force && fs::exists(fs::symlink_status(path, ec))) {
            throw FileError{path + ": already exists; not replaced (use --force to replace it)"};
        }
        std::string error = writePaletteFile(path, colours);
        if (!error.empty()) throw FileError{path + ": " + error};
    };
}

// Maps the rectangle onto a palette read from a file now, so a bad file stops the run
// before anything is written.
void addRemap(Plan& plan, const std::string& value) {
    std::string path = value;
    bool dither = false;
    const std::string ditherSuffix = ",dither";
    if (path.size() > ditherSuffix.size() && path.ends_with(ditherSuffix)) {
        path.resize(path.size() - ditherSuffix.size());
        dither = true;
    }
    PaletteReadResult palette = readPaletteFile(path);
    if (!palette.ok()) throw FileError{path + ": " + palette.error};
    std::vector<uint32_t> colours = std::move(palette.colours);
    plan.steps.push_back(
        [colours, dither](Context& c) { applyPalette(c.image, c.rect(), colours, dither); });
}

const char* extensionOf(ImageFormat format) {
    return format == ImageFormat::Unknown ? ".png" : formatExtension(format);
}

// ---- The options ----

// Adds a step that needs only its value.
template <typename Make>
std::function<void(Plan&, const std::string&)> stepOf(Make make) {
    return [make](Plan& plan, const std::string& value) { plan.steps.push_back(make(value)); };
}

// A step that takes no value.
std::function<void(Plan&, const std::string&)> fixedStep(Step step) {
    return [step](Plan& plan, const std::string&) { plan.steps.push_back(step); };
}

const std::vector<Option>& optionTable() {
    static const std::vector<Option> table = {
        {"--select", "L,T,R,B",
         "the following operations work on this inclusive image rectangle (until an option "
         "changes the image's size)",
         Role::Setting, stepOf(selectStep)},
        {"--select-none", "", "the following operations work on the whole image again",
         Role::Setting, fixedStep([](Context& c) { c.select.reset(); })},
        {"--negative", "", "Negative", Role::Changes,
         fixedStep([](Context& c) { negativePixels(c.image, c.rect()); })},
        {"--gray", "", "Gray Scale", Role::Changes,
         fixedStep([](Context& c) { grayScalePixels(c.image, c.rect()); })},
        {"--quantize", "STYLE", "reduce the colours: " + joined(styleNames()), Role::Changes,
         addQuantize},
        {"--limit", "N",
         "LIMIT of the next --quantize, or of the last one when none follows (uniform: levels "
         "per channel, " +
             rangeText(minUniformLevels, maxUniformLevels) + ", default " +
             std::to_string(styleInfo(styleUniform).defaultLimit) +
             "; popularity, adaptive: colours, " + rangeText(minPaletteLimit, maxPaletteLimit) +
             ", default " + std::to_string(styleInfo(stylePopularity).defaultLimit) +
             "; best: colours, " + rangeText(minPaletteLimit, maxPaletteLimit) + ", default " +
             std::to_string(styleInfo(styleBest).defaultLimit) + "; the other styles take none)",
         Role::Setting,
         [](Plan& plan, const std::string& value) {
             plan.pendingQuantize.limit = parseInteger(value, "--limit");
             plan.pendingSet = true;
         }},
        {"--dither", "", "dither the next --quantize, or the last one when none follows",
         Role::Setting,
         [](Plan& plan, const std::string&) {
             plan.pendingQuantize.dither = true;
             plan.pendingSet = true;
         }},
        {"--target-de", "X",
         "with --quantize best instead of --limit: the fewest colours (2 to 256) whose mean "
         "Delta E against the image before is at most X (0 or more); when even 256 colours "
         "miss it, the 256-colour result is written and the exit status is " +
             std::to_string(batchTargetMissed),
         Role::Setting,
         [](Plan& plan, const std::string& value) {
             plan.pendingQuantize.targetDeltaE = parseTargetDeltaE(value);
             plan.pendingSet = true;
         }},
        {"--compare", "",
         "print every style, with and without dither, at about " + std::to_string(compareColours) +
             " colours where the style takes a LIMIT: the colours, PSNR, mean Delta E, the "
             "size of the PNG it would write and the time it took; best first by mean Delta E",
         Role::Reads, fixedStep(compareStep)},
        {"--count", "", "print the number of distinct colours (of the rectangle, if any)",
         Role::Reads, fixedStep(countStep)},
        {"--two-colors", "T[,none|ordered|sierra][,RRGGBB,RRGGBB]",
         "Two Colors: slider T " + rangeText(0, twoColorsSliderMax) +
             " (threshold 256 - T), no dither, 4 x 4 ordered or Sierra Lite, the colours below "
             "and at or above the threshold (default 000000,FFFFFF)",
         Role::Changes, stepOf(twoColorsStep)},
        {"--report", "",
         "print the colours, PSNR and mean Delta E (CIE76) of the image as it stands against "
         "the input (of the rectangle, if any)",
         Role::Reads,
         [](Plan& plan, const std::string&) {
             plan.keepInput = true;
             plan.steps.push_back(reportStep);
         }},
        {"--measure", "FILE",
         "print the colours, PSNR, mean Delta E, Delta E after a blur of sigma 1 pixel (how "
         "dither looks from a distance) and PSNR over premultiplied RGBA of the image as it "
         "stands against FILE, its original (the same size)",
         Role::Reads, addMeasure},
        {"--palette-out", "FILE",
         "write the colours of the image (or rectangle) as it stands as a palette file: .gpl, "
         ".pal (JASC) or .act, by FILE's extension; at most " +
             std::to_string(maxPaletteFileColours) + " colours",
         Role::Reads,
         [](Plan& plan, const std::string& value) {
             plan.steps.push_back(paletteOutStep(value));
             plan.paletteOut = true;
         }},
        {"--remap", "FILE[,dither]",
         "map the image (or rectangle) onto the colours of a .gpl, .pal or .act palette file, "
         "with error diffusion when ',dither' follows",
         Role::Changes, addRemap},
        {"--effect", "NAME", "one of: " + joined(effectNames()), Role::Changes, stepOf(effectStep)},
        {"--brightness", "A[,hold|clamp|wrap][,ratio|equal][,proportional][,r][,g][,b]",
         "brightness " + rangeText(minBrightnessAmount, maxBrightnessAmount) +
             "; default hold ratio, ratio mode, not proportional, all channels; naming r, g or "
             "b enables only those",
         Role::Changes, stepOf(brightnessStep)},
        {"--contrast", "A", "contrast " + rangeText(minContrastAmount, maxContrastAmount),
         Role::Changes, stepOf(contrastStep)},
        {"--rotate", "right|left|180",
         "turn the whole image a quarter clockwise (right) or counter-clockwise (left), or the "
         "rectangle half round (180)",
         Role::Changes, stepOf(rotateStep)},
        {"--flip", "", "Flip: top becomes bottom", Role::Changes,
         fixedStep([](Context& c) { flipPixels(c.image, c.rect()); })},
        {"--mirror", "", "Mirror: left becomes right", Role::Changes,
         fixedStep([](Context& c) { mirrorPixels(c.image, c.rect()); })},
        {"--resize", "WxH",
         "resize image to W x H (each side " + rangeText(smallestResizeSide, largestNewSide) +
             ") by Mitchell-Netravali resampling",
         Role::Changes, stepOf(resizeStep)},
        {"--canvas", "WxH[,POSITION][,RRGGBB]",
         "resize canvas to W x H (each side at most " + std::to_string(largestNewSide) +
             ", and never smaller than the image), the picture at POSITION 1..9 in reading "
             "order (default 5, the centre) on the colour RRGGBB (default 000000, black)",
         Role::Changes, stepOf(canvasStep)},
        {"--crop", "", "crop to the --select rectangle", Role::Changes, fixedStep(cropStep)},
        {"--output", "FILE",
         "write the result to FILE, in the format its extension names; '-' writes standard "
         "output, in the --format given (default png)",
         Role::Setting, [](Plan& plan, const std::string& value) { plan.output = value; }, 'o'},
        {"--out-dir", "DIR",
         "write every INPUT into DIR (made if missing) under its own name, several files at "
         "once",
         Role::Setting, [](Plan& plan, const std::string& value) { plan.outDir = value; }},
        {"--ext", "SUFFIX",
         "write each result beside its INPUT, SUFFIX in place of the INPUT's extension: "
         "photo.jpg with --ext -q16.png gives photo-q16.png; SUFFIX's extension chooses the "
         "format",
         Role::Setting, [](Plan& plan, const std::string& value) { plan.ext = value; }},
        {"--format", "FORMAT",
         "png, jpg, jp2, bmp, gif, webp or tif: the format --out-dir writes (default: that of each "
         "INPUT's "
         "name), or that of standard output (default png)",
         Role::Setting,
         [](Plan& plan, const std::string& value) {
             // Named as a file's extension would name it.
             ImageFormat format = formatFromPath("." + value);
             if (format == ImageFormat::Unknown) {
                 throw UsageError{"--format: unknown format '" + value + "'"};
             }
             plan.format = format;
         }},
        {"--quality", "N",
         "quality " + rangeText(1, maxJpegPercent) + " of JPEG output (default " +
             std::to_string(jpegSaveQuality * 10) +
             ", as Save) and of lossy WebP output "
             "(default " +
             std::to_string(webpSaveQuality) + ")",
         Role::Setting,
         [](Plan& plan, const std::string& value) {
             int quality = parseInteger(value, "--quality");
             if (quality < 1 || quality > maxJpegPercent) {
                 throw outOfRange("--quality", value, 1, maxJpegPercent);
             }
             plan.encoding.quality = quality;
         }},
        {"--strip", "",
         "write no resolution and no EXIF into the outputs, whatever the inputs held",
         Role::Setting, [](Plan& plan, const std::string&) { plan.strip = true; }},
        {"--force", "",
         "replace outputs that exist, the INPUT itself among them: each is written to a "
         "temporary file beside it that then takes its name, so a failure leaves the old file "
         "whole",
         Role::Setting, [](Plan& plan, const std::string&) { plan.force = true; }, 'f'},
        {"--skip-if-larger", "",
         "write nothing when the result would be larger than its INPUT file, and say so",
         Role::Setting, [](Plan& plan, const std::string&) { plan.skipIfLarger = true; }},
        {"--quiet", "", "no progress line and no summary, only errors", Role::Setting,
         [](Plan& plan, const std::string&) { plan.quiet = true; }, 'q'},
        {"--version", "", "the program's version", Role::Setting,
         [](Plan& plan, const std::string&) { plan.version = true; }, 'V'},
        {"--help", "", "this text", Role::Setting,
         [](Plan& plan, const std::string&) { plan.help = true; }, 'h'},
    };
    return table;
}

const Option* findOption(const std::string& name) {
    for (const Option& option : optionTable()) {
        if (option.name == name) return &option;
        if (option.shortName && name.size() == 2 && name[0] == '-' && name[1] == option.shortName) {
            return &option;
        }
    }
    return nullptr;
}

std::string optionHead(const Option& option) {
    std::string head = option.shortName ? std::string("-") + option.shortName + ", " : "";
    return head + option.name + (option.value.empty() ? "" : " " + option.value);
}

std::string helpText() {
    std::string text = std::string(usageText) + "\n";
    for (const std::string& paragraph : introParagraphs()) {
        text += "\n";
        for (const std::string& line : wrapped(paragraph, helpWidth)) text += line + "\n";
    }
    text += "\nOptions:\n";
    const std::string pad(helpIndent, ' ');
    for (const Option& option : optionTable()) {
        std::string head = "  " + optionHead(option);
        std::vector<std::string> lines = wrapped(option.help, helpWidth - helpIndent);
        if (head.size() + 1 >= helpIndent) {
            text += head + "\n";
        } else if (!lines.empty()) {
            text += head + std::string(helpIndent - head.size(), ' ') + lines.front() + "\n";
            lines.erase(lines.begin());
        }
        for (const std::string& line : lines) text += pad + line + "\n";
    }
    text += "\nExit status:\n";
    for (const ExitStatus& status : exitStatuses()) {
        std::string head = "  " + std::to_string(status.code);
        std::vector<std::string> lines = wrapped(status.meaning, helpWidth - 8);
        for (size_t i = 0; i < lines.size(); ++i) {
            text += (i == 0 ? head + std::string(8 - head.size(), ' ') : std::string(8, ' ')) +
                    lines[i] + "\n";
        }
    }
    return text;
}

// ---- The manual page ----

std::string roff(const std::string& text) {
    std::string out;
    for (char c : text) appendRoffChar(out, c);
    return roffLineStart(out);
}

std::string manPage() {
    std::ostringstream out;
    out << ".TH PIXOVA\\-BATCH 1 \"2016-12-01\" \"Pixova " << PIXOVA_VERSION
        << "\" \"User Commands\"\n";
    out << ".SH NAME\npixova\\-batch \\- run Pixova's operations on image files\n";
    out << ".SH SYNOPSIS\n.nf\n";
    std::istringstream usage(usageText);
    for (std::string line; std::getline(usage, line);) {
        if (line.find("--help") != std::string::npos) continue;
        const size_t start = line.find("pixova-batch");
        if (start == std::string::npos) continue;
        out << "\\fBpixova\\-batch\\fR" << roff(line.substr(start + 12)) << "\n";
    }
    out << ".fi\n.SH DESCRIPTION\n";
    for (const std::string& paragraph : introParagraphs())
        out << ".PP\n" << roff(paragraph) << "\n";
    out << ".SH OPTIONS\n";
    for (const Option& option : optionTable()) {
        out << ".TP\n";
        if (option.shortName) out << "\\fB\\-" << option.shortName << "\\fR, ";
        out << "\\fB" << roff(option.name) << "\\fR";
        if (!option.value.empty()) out << " \\fI" << roff(option.value) << "\\fR";
        out << "\n" << roff(option.help) << "\n";
    }
    out << ".PP\nEvery option that takes a value also takes it as \\fB\\-\\-option=value\\fR, and "
           "\\fB\\-\\-\\fR ends the options: what follows is INPUT or OUTPUT even when it "
           "starts with a hyphen.\n";
    out << ".SH EXIT STATUS\n";
    for (const ExitStatus& status : exitStatuses()) {
        out << ".TP\n.B " << status.code << "\n" << roff(status.meaning) << "\n";
    }
    out << ".SH EXAMPLES\n";
    for (const Example& example : examples()) {
        out << ".PP\n"
            << roff(example.what) << "\n.PP\n.RS\n.nf\n"
            << roff(example.command) << "\n.fi\n.RE\n";
    }
    out << ".SH ENVIRONMENT\n.TP\n.B PIXOVA_THREADS\nthe number of threads to work with "
           "(default: every core); the results are the same for any number\n";
    out << ".SH SEE ALSO\n\\fBpixova\\fR(1), \\fBparallel\\fR(1)\n";
    return out.str();
}

// ---- Reading the command line ----

// "--name=value" as "--name" and "value".
bool splitInlineValue(const std::string& arg, std::string& name, std::string& value) {
    const size_t eq = arg.find('=');
    if (arg.rfind("--", 0) != 0 || eq == std::string::npos) return false;
    name = arg.substr(0, eq);
    value = arg.substr(eq + 1);
    return true;
}

bool isStandardStream(const std::string& path) {
    return path == standardStream;
}

// The format an output path names, checked.
ImageFormat outputFormat(const std::string& path, const std::string& what) {
    ImageFormat format = formatFromPath(path);
    if (format == ImageFormat::Unknown) {
        throw UsageError{what + " '" + path +
                         "' must end in .png, .jpg, .jpeg, .jp2, .bmp, .gif, .webp, .tif or .tiff"};
    }
    return format;
}

// Where the results go, once every option is known; throws UsageError for what cannot work.
void checkOutputs(Plan& plan) {
    const int ways = (plan.output ? 1 : 0) + (plan.outDir ? 1 : 0) + (plan.ext ? 1 : 0);
    if (ways > 1) throw UsageError{"give only one of -o, --out-dir and --ext"};
    if (ways == 0 && plan.positional.size() == 2) {
        // The INPUT OUTPUT form.
        plan.output = plan.positional[1];
        plan.outputPositional = true;
        plan.positional.pop_back();
    } else if (ways == 0 && plan.positional.size() > 2) {
        throw UsageError{"more than one output file: '" + plan.positional[2] +
                         "' (use --out-dir or --ext for many files)"};
    } else if (plan.output && plan.positional.size() > 1) {
        throw UsageError{"-o names one output, for one INPUT (use --out-dir or --ext for many)"};
    }

    const size_t fromStdin = static_cast<size_t>(
        std::count_if(plan.positional.begin(), plan.positional.end(), isStandardStream));
    if (fromStdin > 1) throw UsageError{"standard input ('-') can be read only once"};
    if (fromStdin && (plan.outDir || plan.ext)) {
        throw UsageError{"standard input ('-') has no name for --out-dir or --ext: use -o"};
    }
    if (plan.format && !plan.outDir && !(plan.output && isStandardStream(*plan.output))) {
        throw UsageError{"--format goes with --out-dir or -o -"};
    }
    if (plan.output && !isStandardStream(*plan.output)) outputFormat(*plan.output, "output");
    if (plan.ext) outputFormat(*plan.ext, "--ext");
    if (plan.output && isStandardStream(*plan.output) && plan.lastRead >= 0) {
        throw UsageError{plan.firstReader +
                         " prints to standard output, where the image goes: write the image "
                         "to a file"};
    }
    if (plan.paletteOut && plan.positional.size() > 1) {
        throw UsageError{"--palette-out names one file, which every INPUT would overwrite"};
    }
    const bool writes = plan.output || plan.outDir || plan.ext;
    if (!writes && plan.lastChange > plan.lastRead) {
        throw UsageError{"the result would not be written: give OUTPUT, -o, --out-dir or --ext"};
    }
    if (!writes && plan.skipIfLarger) throw UsageError{"--skip-if-larger: nothing is written"};
}

Plan parse(const std::vector<std::string>& args) {
    Plan plan;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.size() < 2 || a[0] != '-') {
            plan.positional.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = a, value;
        const bool inlineValue = splitInlineValue(a, name, value);
        const Option* option = findOption(name);
        if (!option) throw UsageError{"unknown option '" + name + "'"};
        if (option->value.empty() && inlineValue) {
            throw UsageError{option->name + " takes no value"};
        }
        if (!option->value.empty() && !inlineValue) {
            if (i + 1 >= args.size()) throw UsageError{name + ": missing value"};
            value = args[++i];
        }
        option->apply(plan, value);
        if (option->role == Role::Changes) plan.lastChange = static_cast<int>(i);
        if (option->role == Role::Reads) {
            if (plan.lastRead < 0) plan.firstReader = option->name;
            plan.lastRead = static_cast<int>(i);
        }
    }
    if (plan.pendingSet) {
        if (plan.quantizes.empty()) {
            throw UsageError{"--limit, --dither and --target-de need a --quantize"};
        }
        QuantizeSettings& last = *plan.quantizes.back();
        if (plan.pendingQuantize.limit) last.limit = plan.pendingQuantize.limit;
        if (plan.pendingQuantize.dither) last.dither = true;
        if (plan.pendingQuantize.targetDeltaE)
            last.targetDeltaE = plan.pendingQuantize.targetDeltaE;
    }
    for (const auto& settings : plan.quantizes) {
        checkLimit(*settings);
        checkTarget(*settings);
    }
    if (plan.help || plan.version) return plan;
    if (plan.positional.empty()) throw UsageError{"no input file"};
    checkOutputs(plan);
    return plan;
}

// ---- Files ----

// One input and where its result goes (no output: nothing is written).
struct FileJob {
    std::string input;
    std::string output;
    ImageFormat format = ImageFormat::Unknown;
    bool positionalOutput = false;  // given as the second of INPUT OUTPUT
};

std::string shownName(const std::string& path, const char* standardName) {
    return isStandardStream(path) ? standardName : path;
}

// The same file, by path once resolved or by device and inode.
bool sameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    if (fs::weakly_canonical(a, ec) == fs::weakly_canonical(b, ec) && !ec) return true;
    return fs::equivalent(a, b, ec) && !ec;
}

// The job's output in a folder of its own, by the same rules whatever asked for it.
std::string besideOrInto(const Plan& plan, const std::string& input, ImageFormat& format) {
    if (plan.ext) {
        format = formatFromPath(*plan.ext);
        fs::path path(input);
        return (path.parent_path() / path.stem()).string() + *plan.ext;
    }
    fs::path name = fs::path(input).filename();
    ImageFormat own = formatFromPath(input);
    if (plan.format) {
        format = *plan.format;
        name.replace_extension(extensionOf(format));
    } else if (own != ImageFormat::Unknown) {
        format = own;
    } else {
        format = ImageFormat::Png;
        name += extensionOf(format);
    }
    return (fs::path(*plan.outDir) / name).string();
}

// Every input with its output. Throws UsageError when two inputs would be written to one
// file, or when an output is another INPUT: that one would be replaced before it is read.
std::vector<FileJob> makeJobs(const Plan& plan) {
    std::vector<FileJob> jobs;
    for (const std::string& input : plan.positional) {
        FileJob job;
        job.input = input;
        if (plan.output) {
            job.output = *plan.output;
            job.format = isStandardStream(job.output) ? plan.format.value_or(ImageFormat::Png)
                                                      : formatFromPath(job.output);
            job.positionalOutput = plan.outputPositional;
        } else if (plan.outDir || plan.ext) {
            job.output = besideOrInto(plan, input, job.format);
        }
        jobs.push_back(job);
    }
    for (size_t i = 0; i < jobs.size(); ++i) {
        if (jobs[i].output.empty() || isStandardStream(jobs[i].output)) continue;
        for (size_t k = 0; k < jobs.size(); ++k) {
            if (k == i) continue;
            if (k < i && sameFile(jobs[i].output, jobs[k].output)) {
                throw UsageError{"'" + jobs[k].input + "' and '" + jobs[i].input +
                                 "' would both be written to '" + jobs[i].output + "'"};
            }
            if (!isStandardStream(jobs[k].input) && sameFile(jobs[i].output, jobs[k].input)) {
                throw UsageError{"'" + jobs[i].input + "' would be written over '" + jobs[k].input +
                                 "', another INPUT, before it is read"};
            }
        }
    }
    return jobs;
}

// Why an output that exists is left alone.
std::string refusedMessage(const FileJob& job) {
    std::string text = job.output + ": ";
    if (!isStandardStream(job.input) && sameFile(job.output, job.input)) {
        text += "is the INPUT itself; not replaced (use --force to replace it)";
    } else {
        text += "already exists; not replaced (use --force to replace it";
        // "pixova-batch a.png b.png" most likely meant two inputs.
        if (job.positionalOutput) text += ", or --out-dir or --ext to work on both files";
        text += ")";
    }
    return text;
}

bool exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

// ---- Running ----

enum class Outcome { Done, Skipped, TargetMissed, FileFailed, UsageFailed };

struct FileResult {
    Outcome outcome = Outcome::Done;
    std::string message;  // the error or the reason for skipping
    std::string printed;  // what the steps printed
    // What the user should hear of a file that went well (only an animation's first
    // frame was read, transparency made all or nothing for a GIF).
    std::vector<std::string> notes;
};

// The bytes of an input, from a file or standard input, with the image they hold.
struct Input {
    DecodeResult decoded;
    int64_t bytes = 0;
};

// Standard input is read whole, as a file would be, up to the largest file read at all.
Input readStandardInput(std::istream& in) {
    constexpr size_t largest = size_t{2} << 30;
    std::vector<uint8_t> data;
    char buffer[1 << 16];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        data.insert(data.end(), buffer, buffer + in.gcount());
        if (data.size() > largest) {
            Input input;
            input.decoded.error = "too large";
            return input;
        }
    }
    Input input;
    input.bytes = static_cast<int64_t>(data.size());
    input.decoded = decodeImage(data.data(), data.size());
    return input;
}

Input readInput(const std::string& path, std::istream& in) {
    if (isStandardStream(path)) return readStandardInput(in);
    Input input;
    input.decoded = readImageFile(path);
    std::error_code ec;
    if (input.decoded.ok()) input.bytes = static_cast<int64_t>(fs::file_size(path, ec));
    return input;
}

// Encodes and writes the result; a failure or a skip is written into `result`.
void writeOutput(const Plan& plan, const FileJob& job, const Image& image,
                 const ImageMetadata& metadata, int64_t inputBytes, std::ostream& out,
                 FileResult& result) {
    const std::string name = shownName(job.output, standardOutputName);
    const ImageMetadata none;
    const ImageMetadata& kept = plan.strip ? none : metadata;
    EncodeResult encoded;
    if (job.format == ImageFormat::Gif) {
        // The same rules as Save in the editor, on a copy, without asking.
        std::optional<Image> fitted;
        if (hasPartialAlpha(image)) {
            fitted = image;
            thresholdAlpha(*fitted);
            result.notes.push_back(name +
                                   ": a GIF holds no partial transparency: pixels below "
                                   "alpha " +
                                   std::to_string(gifAlphaThreshold) +
                                   " were made transparent, the rest opaque");
        }
        const int64_t colours = gifColourCount(fitted ? *fitted : image);
        if (colours > gifMaxColours) {
            fitted = reducedForGif(fitted ? *fitted : image);
            result.notes.push_back(name + ": the image has " + std::to_string(colours) +
                                   " colours and a GIF holds " + std::to_string(gifMaxColours) +
                                   ": reduced with Best quality, dithered");
        }
        encoded = encodeImage(fitted ? *fitted : image, job.format, kept, plan.encoding);
    } else {
        encoded = encodeImage(image, job.format, kept, plan.encoding);
    }
    if (!encoded.ok()) {
        result.outcome = Outcome::FileFailed;
        result.message = name + ": " + encoded.error;
        return;
    }
    const auto size = static_cast<int64_t>(encoded.bytes.size());
    if (plan.skipIfLarger && size > inputBytes) {
        result.outcome = Outcome::Skipped;
        result.message = name + ": not written: its " + std::to_string(size) +
                         " bytes would be larger than the input's " + std::to_string(inputBytes);
        return;
    }
    if (isStandardStream(job.output)) {
        out.write(reinterpret_cast<const char*>(encoded.bytes.data()), size);
        out.flush();
        if (!out) {
            result.outcome = Outcome::FileFailed;
            result.message = name + ": cannot be written";
        }
        return;
    }
    FileWriteResult written =
        writeFileAtomically(job.output, encoded.bytes.data(), encoded.bytes.size(),
                            plan.force ? ReplaceMode::Always : ReplaceMode::Never);
    if (!written.ok()) {
        result.outcome = Outcome::FileFailed;
        // Another process may have made the file since it was looked for.
        result.message =
            written.error == EEXIST ? refusedMessage(job) : name + ": " + written.message;
    }
}

FileResult processFile(const Plan& plan, const FileJob& job, std::istream& in, std::ostream& out) {
    FileResult result;
    std::ostringstream printed;
    try {
        const bool writes = !job.output.empty();
        // Refused before any work, so the next file goes on at once.
        if (writes && !plan.force && !isStandardStream(job.output) && exists(job.output)) {
            result.outcome = Outcome::FileFailed;
            result.message = refusedMessage(job);
            return result;
        }
        // Each file starts from the subsystem's start-up state, whichever thread runs it.
        initQuantize();
        Input input = readInput(job.input, in);
        if (!input.decoded.ok()) {
            result.outcome = Outcome::FileFailed;
            result.message = shownName(job.input, standardInputName) + ": " + input.decoded.error;
            return result;
        }
        if (!input.decoded.notice.empty()) {
            result.notes.push_back(shownName(job.input, standardInputName) + ": " +
                                   input.decoded.notice);
        }
        Context context;
        context.image = std::move(input.decoded.image);
        context.metadata = std::move(input.decoded.metadata);
        if (plan.keepInput) context.input = context.image;
        context.out = &printed;
        context.force = plan.force;
        for (const Step& step : plan.steps) step(context);
        result.printed = printed.str();
        if (writes) {
            writeOutput(plan, job, context.image, context.metadata, input.bytes, out, result);
        }
        if (result.outcome == Outcome::Done && !context.targetMissed.empty()) {
            result.outcome = Outcome::TargetMissed;
            result.message = shownName(job.input, standardInputName) + ": " + context.targetMissed;
        }
    } catch (const UsageError& e) {
        result.outcome = Outcome::UsageFailed;
        result.message = e.message;
        result.printed = printed.str();
    } catch (const FileError& e) {
        result.outcome = Outcome::FileFailed;
        result.message = e.message;
        result.printed = printed.str();
    } catch (const std::bad_alloc&) {
        result.outcome = Outcome::FileFailed;
        result.message = shownName(job.input, standardInputName) + ": out of memory";
        result.printed = printed.str();
    }
    return result;
}

void printUsageError(std::ostream& err, const std::string& message) {
    err << "pixova-batch: " << message << "\n" << usageText << "\n";
}

int runOne(const Plan& plan, const FileJob& job, std::istream& in, std::ostream& out,
           std::ostream& err) {
    FileResult result = processFile(plan, job, in, out);
    out << result.printed;
    out.flush();
    if (!plan.quiet) {
        for (const std::string& note : result.notes) err << "pixova-batch: " << note << "\n";
    }
    switch (result.outcome) {
        case Outcome::Done:
            return batchOk;
        case Outcome::UsageFailed:
            printUsageError(err, result.message);
            return batchUsageError;
        case Outcome::Skipped:
            if (!plan.quiet) err << "pixova-batch: " << result.message << "\n";
            return batchSkippedLarger;
        case Outcome::TargetMissed:
            if (!plan.quiet) err << "pixova-batch: " << result.message << "\n";
            return batchTargetMissed;
        case Outcome::FileFailed:
            break;
    }
    err << "pixova-batch: " << result.message << "\n";
    return batchFileError;
}

// Progress and results of a run over many files, shared by the threads that run it.
class FolderRun {
  public:
    FolderRun(const std::vector<FileJob>& jobs, std::ostream& out, std::ostream& err, bool progress,
              bool quiet)
        : jobs_(jobs),
          out_(out),
          err_(err),
          progress_(progress && !quiet),
          quiet_(quiet),
          results_(jobs.size()) {}

    void finished(size_t index, FileResult result) {
        std::lock_guard lock(mutex_);
        ++done_;
        if (!quiet_ && !result.notes.empty()) {
            clearProgress();
            for (const std::string& note : result.notes) err_ << "pixova-batch: " << note << "\n";
        }
        if (result.outcome == Outcome::Skipped || result.outcome == Outcome::TargetMissed) {
            ++(result.outcome == Outcome::Skipped ? skipped_ : missed_);
            if (!quiet_) {
                clearProgress();
                err_ << "pixova-batch: " << result.message << "\n";
            }
        } else if (result.outcome != Outcome::Done) {
            ++failed_;
            clearProgress();
            // A step's complaint (a rectangle outside this image) names no file by itself.
            if (result.outcome == Outcome::UsageFailed) {
                result.message = jobs_[index].input + ": " + result.message;
            }
            err_ << "pixova-batch: " << result.message << "\n";
        }
        results_[index] = std::move(result);
        // Printed results appear in input order, each once every earlier file is done.
        while (printedUpTo_ < results_.size() && results_[printedUpTo_]) {
            const std::string& printed = results_[printedUpTo_]->printed;
            std::istringstream lines(printed);
            for (std::string line; std::getline(lines, line);) {
                out_ << jobs_[printedUpTo_].input << ": " << line << "\n";
            }
            ++printedUpTo_;
        }
        out_.flush();
        if (progress_) {
            err_ << "\r[" << done_ << "/" << jobs_.size() << "] " << jobs_[index].input;
            if (failed_) err_ << " (" << failed_ << " failed)";
            err_ << "\x1b[K";
            err_.flush();
            progressShown_ = true;
        }
    }

    int summarise() {
        clearProgress();
        if (!quiet_) {
            err_ << "pixova-batch: " << jobs_.size() - failed_ - skipped_ << " of " << jobs_.size()
                 << (jobs_.size() == 1 ? " file" : " files") << " done";
            if (failed_) err_ << ", " << failed_ << " failed";
            if (skipped_) err_ << ", " << skipped_ << " not written (larger than the input)";
            if (missed_) err_ << ", " << missed_ << " short of the --target-de";
            err_ << "\n";
        }
        if (failed_) return batchFileError;
        if (missed_) return batchTargetMissed;
        return skipped_ ? batchSkippedLarger : batchOk;
    }

  private:
    void clearProgress() {
        if (!progressShown_) return;
        err_ << "\r\x1b[K";
        progressShown_ = false;
    }

    const std::vector<FileJob>& jobs_;
    std::ostream& out_;
    std::ostream& err_;
    const bool progress_;
    const bool quiet_;
    std::mutex mutex_;
    std::vector<std::optional<FileResult>> results_;
    size_t printedUpTo_ = 0;
    size_t done_ = 0;
    size_t failed_ = 0;
    size_t skipped_ = 0;
    size_t missed_ = 0;  // done, but short of the --target-de
    bool progressShown_ = false;
};

int runMany(const Plan& plan, const std::vector<FileJob>& jobs, std::istream& in, std::ostream& out,
            std::ostream& err, bool progress) {
    if (plan.outDir) {
        std::error_code ec;
        fs::create_directories(*plan.outDir, ec);
        if (ec || !fs::is_directory(*plan.outDir)) {
            err << "pixova-batch: " << *plan.outDir << ": "
                << (ec ? ec.message() : std::string("not a folder")) << "\n";
            return batchFileError;
        }
    }
    FolderRun run(jobs, out, err, progress, plan.quiet);
    // Several files at once; threads left over join the work inside each file.
    runTasks(static_cast<int>(jobs.size()), [&](int i) {
        run.finished(static_cast<size_t>(i), processFile(plan, jobs[i], in, out));
    });
    return run.summarise();
}

}  // namespace

std::string normalisedName(const std::string& name) {
    std::string out;
    for (unsigned char ch : name) {
        if (std::isalnum(ch)) out += static_cast<char>(std::tolower(ch));
    }
    return out;
}

std::string batchManPage() {
    return manPage();
}

int runBatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
             bool progress, std::istream* in) {
    std::istream& input = in ? *in : std::cin;
    try {
        Plan plan = parse(args);
        if (plan.help) {
            out << helpText();
            return batchOk;
        }
        if (plan.version) {
            out << "pixova-batch " << PIXOVA_VERSION << "\n";
            return batchOk;
        }
        std::vector<FileJob> jobs = makeJobs(plan);
        if (plan.outDir || plan.ext) return runMany(plan, jobs, input, out, err, progress);
        return runOne(plan, jobs.front(), input, out, err);
    } catch (const UsageError& e) {
        printUsageError(err, e.message);
        return batchUsageError;
    } catch (const FileError& e) {
        err << "pixova-batch: " << e.message << "\n";
        return batchFileError;
    }
}
