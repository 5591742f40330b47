#include "batch/batch.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <functional>
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
#include "quantize/adaptive_quantize.h"
#include "quantize/error_figure.h"
#include "quantize/formula_quantize.h"
#include "quantize/palette_map.h"
#include "quantize/palettes.h"
#include "quantize/quantize.h"
#include "quantize/two_colors.h"
#include "toolkit/codecs/codec.h"
#include "toolkit/parallel.h"
#include "tools/palette_files.h"

#ifndef PIXOVA_VERSION
#define PIXOVA_VERSION "unknown"
#endif

namespace fs = std::filesystem;

namespace {

constexpr const char* usageText =
    "usage: pixova-batch [OPTION ...] INPUT [OUTPUT]\n"
    "       pixova-batch [OPTION ...] INPUT ... --out-dir DIR [--format png|jpg|jp2|bmp]\n"
    "       (pixova-batch --help for the options)";

constexpr const char* introText = R"(
Runs Pixova's operations on each INPUT in the order given. With one INPUT, writes OUTPUT in
the format its extension names (.png .jpg .jpeg .jp2 .bmp) with the same encoders and
qualities as Save; an image of at most 256 colours becomes an indexed PNG. With --out-dir,
works on every INPUT, several at once, and writes each into DIR under its own name; a file
that fails is reported and the others go on.
)";

// The batch name of the Gaussian blur, which is an effect of the menu but not one of the
// pass recipes.
constexpr std::string_view blurEffectName = "gaussianblur";

// Help columns: options are indented by two, their text starts at column 24, lines end
// before column 92.
constexpr size_t helpIndent = 24;
constexpr size_t helpWidth = 92;

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
    std::optional<Rect> select;  // image rectangle; none = whole image
    std::ostream* out = nullptr;
    Image input;  // the image as read, kept only when a step compares against it

    Rect rect() const { return select ? *select : wholeImage(image); }
};

using Step = std::function<void(Context&)>;

// LIMIT and Dither of one --quantize.
struct QuantizeSettings {
    std::optional<int> limit;
    bool dither = false;
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
    std::optional<std::string> outDir;
    bool paletteOut = false;
    std::optional<ImageFormat> format;
    bool help = false;
    bool version = false;
    bool keepInput = false;  // a step compares the image with the input
    // --limit and --dither belong to the next --quantize; given after the last one, they
    // belong to that one ("--quantize adaptive --limit 16 --dither").
    QuantizeSettings pendingQuantize;
    bool pendingSet = false;
    std::shared_ptr<QuantizeSettings> lastQuantize;
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
    std::string help;   // may hold several lines
    Role role;
    std::function<void(Plan&, const std::string& value)> apply;
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

// "first, second, ..." broken into lines that fit the help's text column.
std::string wrappedList(const std::string& lead, const std::vector<std::string>& names) {
    std::string text = lead, line;
    const size_t room = helpWidth - helpIndent;
    size_t column = lead.size();
    for (size_t i = 0; i < names.size(); ++i) {
        std::string word = names[i] + (i + 1 < names.size() ? "," : "");
        if (column > 0 && column + 1 + word.size() > room) {
            text += "\n";
            column = 0;
        } else if (column > 0) {
            text += " ";
            ++column;
        }
        text += word;
        column += word.size();
    }
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
    plan.pendingQuantize = QuantizeSettings{};
    plan.pendingSet = false;
    plan.lastQuantize = settings;
    plan.steps.push_back([style, settings](Context& c) {
        int limit = settings->limit.value_or(styleInfo(style).defaultLimit);
        runQuantizeStyle(c.image, c.rect(), style, limit, settings->dither);
    });
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
        throw UsageError{"--brightness: amount must be " +
                         rangeText(minBrightnessAmount, maxBrightnessAmount)};
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
        throw UsageError{"--contrast: amount must be " +
                         rangeText(minContrastAmount, maxContrastAmount)};
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
        c.select.reset();
    };
}

Step resizeStep(const std::string& value) {
    auto [w, h] = parseSize(value, "--resize");
    int width = clampResizeSide(w), height = clampResizeSide(h);
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
                throw UsageError{"--canvas: POSITION must be " +
                                 rangeText(firstAnchor, lastAnchor)};
            }
            positionGiven = true;
        } else if (!colourGiven) {
            background = parseColour(part, "--canvas");
            colourGiven = true;
        } else {
            throw UsageError{"--canvas: expected WxH[,POSITION][,RRGGBB], got '" + value + "'"};
        }
    }
    return [w, h, position, background](Context& c) {
        int width = clampCanvasSide(w, c.image.width), height = clampCanvasSide(h, c.image.height);
        c.image = extendCanvas(c.image, width, height, position, background);
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
        throw UsageError{option + ": T must be " + rangeText(0, twoColorsSliderMax)};
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
                            " colours, more than a palette file holds"};
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
         "the following operations work on this inclusive image rectangle\n(until an option "
         "changes the image's size)",
         Role::Setting, stepOf(selectStep)},
        {"--select-none", "", "the following operations work on the whole image again",
         Role::Setting, fixedStep([](Context& c) { c.select.reset(); })},
        {"--negative", "", "Negative", Role::Changes,
         fixedStep([](Context& c) { negativePixels(c.image, c.rect()); })},
        {"--gray", "", "Gray Scale", Role::Changes,
         fixedStep([](Context& c) { grayScalePixels(c.image, c.rect()); })},
        {"--quantize", "STYLE", wrappedList("reduce the colours:", styleNames()), Role::Changes,
         addQuantize},
        {"--limit", "N",
         "LIMIT of the next --quantize, or of the last one when none\nfollows (Uniform: levels "
         "per channel " +
             rangeText(minUniformLevels, maxUniformLevels) + "; Popularity,\nAdaptive: colours " +
             rangeText(minPaletteLimit, maxPaletteLimit) + "; clamped into range; default " +
             std::to_string(styleInfo(styleUniform).defaultLimit) + ", " +
             std::to_string(styleInfo(stylePopularity).defaultLimit) + ", " +
             std::to_string(styleInfo(styleAdaptive).defaultLimit) + ")",
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
        {"--count", "", "print the number of distinct colours (of the rectangle, if any)",
         Role::Reads, fixedStep(countStep)},
        {"--two-colors", "T[,none|ordered|sierra][,RRGGBB,RRGGBB]",
         "Two Colors: slider T " + rangeText(0, twoColorsSliderMax) +
             " (threshold 256 - T), no dither, 4 x 4\nordered or Sierra Lite, the colours "
             "below and at or above the\nthreshold (default 000000,FFFFFF)",
         Role::Changes, stepOf(twoColorsStep)},
        {"--report", "",
         "print the colours, PSNR and mean Delta E (CIE76) of the image\nas it stands against "
         "the input (of the rectangle, if any)",
         Role::Reads,
         [](Plan& plan, const std::string&) {
             plan.keepInput = true;
             plan.steps.push_back(reportStep);
         }},
        {"--palette-out", "FILE",
         "write the colours of the image (or rectangle) as it stands as a\npalette file: .gpl, "
         ".pal (JASC) or .act, by FILE's extension;\nat most " +
             std::to_string(maxPaletteFileColours) + " colours",
         Role::Reads,
         [](Plan& plan, const std::string& value) {
             plan.steps.push_back(paletteOutStep(value));
             plan.paletteOut = true;
         }},
        {"--remap", "FILE[,dither]",
         "map the image (or rectangle) onto the colours of a .gpl, .pal\nor .act palette file, "
         "with error diffusion when ',dither' follows",
         Role::Changes, addRemap},
        {"--effect", "NAME", wrappedList("", effectNames()), Role::Changes, stepOf(effectStep)},
        {"--brightness", "A[,hold|clamp|wrap][,ratio|equal][,proportional][,r][,g][,b]",
         "brightness " + rangeText(minBrightnessAmount, maxBrightnessAmount) +
             "; default hold ratio, ratio mode, not\nproportional, all channels; naming r, g or "
             "b enables only those",
         Role::Changes, stepOf(brightnessStep)},
        {"--contrast", "A", "contrast " + rangeText(minContrastAmount, maxContrastAmount),
         Role::Changes, stepOf(contrastStep)},
        {"--rotate", "right|left|180",
         "turn the whole image a quarter clockwise (right) or counter-\nclockwise (left), or the "
         "rectangle half round (180)",
         Role::Changes, stepOf(rotateStep)},
        {"--flip", "", "Flip: top becomes bottom", Role::Changes,
         fixedStep([](Context& c) { flipPixels(c.image, c.rect()); })},
        {"--mirror", "", "Mirror: left becomes right", Role::Changes,
         fixedStep([](Context& c) { mirrorPixels(c.image, c.rect()); })},
        {"--resize", "WxH",
         "resize image to W x H (each side " + rangeText(smallestResizeSide, largestNewSide) +
             ") by Mitchell-Netravali\nresampling",
         Role::Changes, stepOf(resizeStep)},
        {"--canvas", "WxH[,POSITION][,RRGGBB]",
         "resize canvas to W x H (at most " + std::to_string(largestNewSide) +
             ", never smaller than the image),\nthe picture at POSITION 1..9 in reading order "
             "(default 5, the\ncentre) on the colour RRGGBB (default 000000, black)",
         Role::Changes, stepOf(canvasStep)},
        {"--crop", "", "crop to the --select rectangle", Role::Changes, fixedStep(cropStep)},
        {"--out-dir", "DIR",
         "write every INPUT into DIR (made if missing) under its own name,\nseveral files at once",
         Role::Setting, [](Plan& plan, const std::string& value) { plan.outDir = value; }},
        {"--format", "FORMAT",
         "with --out-dir: png, jpg, jp2 or bmp (default: the format of\neach INPUT's name)",
         Role::Setting,
         [](Plan& plan, const std::string& value) {
             // Named as a file's extension would name it.
             ImageFormat format = formatFromPath("." + value);
             if (format == ImageFormat::Unknown) {
                 throw UsageError{"--format: unknown format '" + value + "'"};
             }
             plan.format = format;
         }},
        {"--version", "", "the program's version", Role::Setting,
         [](Plan& plan, const std::string&) { plan.version = true; }},
        {"--help", "", "this text", Role::Setting,
         [](Plan& plan, const std::string&) { plan.help = true; }},
    };
    return table;
}

const Option* findOption(const std::string& name) {
    if (name == "-h") return findOption("--help");
    for (const Option& option : optionTable()) {
        if (option.name == name) return &option;
    }
    return nullptr;
}

std::string helpText() {
    std::string text = std::string(usageText) + "\n" + introText + "\nOptions:\n";
    const std::string pad(helpIndent, ' ');
    for (const Option& option : optionTable()) {
        std::string head = "  " + option.name + (option.value.empty() ? "" : " " + option.value);
        text += head;
        if (head.size() + 1 >= helpIndent) {
            text += "\n" + pad;
        } else {
            text += std::string(helpIndent - head.size(), ' ');
        }
        for (char ch : option.help) {
            text += ch;
            if (ch == '\n') text += pad;
        }
        text += "\n";
    }
    return text;
}

Plan parse(const std::vector<std::string>& args) {
    Plan plan;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.size() < 2 || a[0] != '-') {
            plan.positional.push_back(a);
            continue;
        }
        const Option* option = findOption(a);
        if (!option) throw UsageError{"unknown option '" + a + "'"};
        std::string value;
        if (!option->value.empty()) {
            if (i + 1 >= args.size()) throw UsageError{a + ": missing value"};
            value = args[++i];
        }
        option->apply(plan, value);
        if (option->role == Role::Changes) plan.lastChange = static_cast<int>(i);
        if (option->role == Role::Reads) plan.lastRead = static_cast<int>(i);
    }
    if (plan.pendingSet) {
        if (!plan.lastQuantize) throw UsageError{"--limit and --dither need a --quantize"};
        if (plan.pendingQuantize.limit) plan.lastQuantize->limit = plan.pendingQuantize.limit;
        if (plan.pendingQuantize.dither) plan.lastQuantize->dither = true;
    }
    if (plan.help || plan.version) return plan;
    if (plan.positional.empty()) throw UsageError{"no input file"};
    if (plan.paletteOut && plan.positional.size() > 1 && plan.outDir) {
        throw UsageError{"--palette-out names one file, which every INPUT would overwrite"};
    }
    if (plan.outDir) return plan;
    if (plan.format) throw UsageError{"--format goes with --out-dir"};
    if (plan.positional.size() > 2) {
        throw UsageError{"more than one output file: '" + plan.positional[2] +
                         "' (use --out-dir for many files)"};
    }
    if (plan.positional.size() == 2 && formatFromPath(plan.positional[1]) == ImageFormat::Unknown) {
        throw UsageError{"output '" + plan.positional[1] +
                         "' must end in .png, .jpg, .jpeg, .jp2 or .bmp"};
    }
    if (plan.positional.size() == 1 && plan.lastChange > plan.lastRead) {
        throw UsageError{"the result would not be written: give OUTPUT or --out-dir"};
    }
    return plan;
}

// ---- Running ----

// One input and where its result goes (no output: nothing is written).
struct FileJob {
    std::string input;
    std::string output;
    ImageFormat format = ImageFormat::Unknown;
};

enum class Outcome { Done, FileFailed, UsageFailed };

struct FileResult {
    Outcome outcome = Outcome::Done;
    std::string message;  // the error, for a failure
    std::string printed;  // what the steps printed
};

FileResult processFile(const Plan& plan, const FileJob& job) {
    FileResult result;
    std::ostringstream printed;
    try {
        // Each file starts from the subsystem's start-up state, whichever thread runs it.
        initQuantize();
        DecodeResult input = readImageFile(job.input);
        if (!input.ok()) {
            result.outcome = Outcome::FileFailed;
            result.message = job.input + ": " + input.error;
            return result;
        }
        Context context;
        context.image = std::move(input.image);
        if (plan.keepInput) context.input = context.image;
        context.out = &printed;
        for (const Step& step : plan.steps) step(context);
        result.printed = printed.str();
        if (!job.output.empty()) {
            std::string error = writeImageFile(context.image, job.output, job.format);
            if (!error.empty()) {
                result.outcome = Outcome::FileFailed;
                result.message = job.output + ": " + error;
            }
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
        result.message = job.input + ": out of memory";
        result.printed = printed.str();
    }
    return result;
}

// The jobs of a run into an output folder; throws UsageError when two inputs would be
// written to the same file.
std::vector<FileJob> folderJobs(const Plan& plan) {
    std::vector<FileJob> jobs;
    std::map<std::string, std::string> written;  // output -> input
    for (const std::string& input : plan.positional) {
        FileJob job;
        job.input = input;
        fs::path name = fs::path(input).filename();
        ImageFormat own = formatFromPath(input);
        if (plan.format) {
            job.format = *plan.format;
            name.replace_extension(extensionOf(job.format));
        } else if (own != ImageFormat::Unknown) {
            job.format = own;
        } else {
            job.format = ImageFormat::Png;
            name += extensionOf(job.format);
        }
        job.output = (fs::path(*plan.outDir) / name).string();
        auto [it, fresh] = written.emplace(job.output, input);
        if (!fresh) {
            throw UsageError{"'" + it->second + "' and '" + input + "' would both be written to '" +
                             job.output + "'"};
        }
        jobs.push_back(job);
    }
    return jobs;
}

void printUsageError(std::ostream& err, const std::string& message) {
    err << "pixova-batch: " << message << "\n" << usageText << "\n";
}

int runOne(const Plan& plan, std::ostream& out, std::ostream& err) {
    FileJob job;
    job.input = plan.positional[0];
    if (plan.positional.size() == 2) {
        job.output = plan.positional[1];
        job.format = formatFromPath(job.output);
    }
    FileResult result = processFile(plan, job);
    out << result.printed;
    out.flush();
    switch (result.outcome) {
        case Outcome::Done:
            return batchOk;
        case Outcome::UsageFailed:
            printUsageError(err, result.message);
            return batchUsageError;
        case Outcome::FileFailed:
            break;
    }
    err << "pixova-batch: " << result.message << "\n";
    return batchFileError;
}

// Progress and results of a run over many files, shared by the threads that run it.
class FolderRun {
  public:
    FolderRun(const std::vector<FileJob>& jobs, std::ostream& out, std::ostream& err, bool progress)
        : jobs_(jobs), out_(out), err_(err), progress_(progress), results_(jobs.size()) {}

    void finished(size_t index, FileResult result) {
        std::lock_guard lock(mutex_);
        ++done_;
        if (result.outcome != Outcome::Done) {
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
        err_ << "pixova-batch: " << jobs_.size() - failed_ << " of " << jobs_.size()
             << (jobs_.size() == 1 ? " file" : " files") << " done";
        if (failed_) err_ << ", " << failed_ << " failed";
        err_ << "\n";
        return failed_ ? batchFileError : batchOk;
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
    std::mutex mutex_;
    std::vector<std::optional<FileResult>> results_;
    size_t printedUpTo_ = 0;
    size_t done_ = 0;
    size_t failed_ = 0;
    bool progressShown_ = false;
};

int runFolder(const Plan& plan, std::ostream& out, std::ostream& err, bool progress) {
    std::vector<FileJob> jobs = folderJobs(plan);
    std::error_code ec;
    fs::create_directories(*plan.outDir, ec);
    if (ec || !fs::is_directory(*plan.outDir)) {
        err << "pixova-batch: " << *plan.outDir << ": "
            << (ec ? ec.message() : std::string("not a folder")) << "\n";
        return batchFileError;
    }
    FolderRun run(jobs, out, err, progress);
    // One file per thread; each file's own operations then run on its thread alone.
    runTasks(static_cast<int>(jobs.size()),
             [&](int i) { run.finished(static_cast<size_t>(i), processFile(plan, jobs[i])); });
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

int runBatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
             bool progress) {
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
        if (plan.outDir) return runFolder(plan, out, err, progress);
        return runOne(plan, out, err);
    } catch (const UsageError& e) {
        printUsageError(err, e.message);
        return batchUsageError;
    } catch (const FileError& e) {
        err << "pixova-batch: " << e.message << "\n";
        return batchFileError;
    }
}
