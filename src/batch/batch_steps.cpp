// The steps each option adds to the plan, and the values they read.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>

#include "adjust/blur.h"
#include "adjust/brightness.h"
#include "adjust/effects.h"
#include "batch/batch_plan.h"
#include "canvas/geometry.h"
#include "quantize/best_quantize.h"
#include "quantize/error_figure.h"
#include "quantize/palette_map.h"
#include "quantize/palettes.h"
#include "quantize/quantize.h"
#include "quantize/style_comparison.h"
#include "quantize/two_colors.h"
#include "tools/palette_files.h"

namespace fs = std::filesystem;

namespace batchtool {

int parseInteger(const std::string& text, const std::string& option) {
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
        throw UsageError{option + ": not a whole number: '" + text + "'"};
    }
    return value;
}

std::vector<std::string> splitCommas(const std::string& text) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t comma = text.find(',', start);
        fields.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return fields;
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

UsageError outOfRange(const std::string& option, const std::string& value, int low, int high,
                      const std::string& what) {
    return UsageError{option + " " + value + ": " + (what.empty() ? "" : what + " ") + "takes " +
                      std::to_string(low) + " to " + std::to_string(high)};
}

// ---- Steps ----

Step selectStep(const std::string& value) {
    std::vector<std::string> fields = splitCommas(value);
    if (fields.size() != 4) throw UsageError{"--select: expected L,T,R,B, got '" + value + "'"};
    Rect r{parseInteger(fields[0], "--select"), parseInteger(fields[1], "--select"),
           parseInteger(fields[2], "--select"), parseInteger(fields[3], "--select")};
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
    std::vector<std::string> fields = splitCommas(value);
    BrightnessSettings s;
    s.amount = parseInteger(fields[0], "--brightness");
    if (s.amount < minBrightnessAmount || s.amount > maxBrightnessAmount) {
        throw outOfRange("--brightness", fields[0], minBrightnessAmount, maxBrightnessAmount,
                         "the amount");
    }
    s.limitOption = LimitOption::HoldRatio;
    s.ratioMode = true;
    s.proportional = false;
    bool channelNamed = false;
    bool red = false, green = false, blue = false;
    for (size_t i = 1; i < fields.size(); ++i) {
        const std::string& p = fields[i];
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
    if (std::min(width, height) < smallestSide || std::max(width, height) > largestSide) {
        throw outOfRange("--resize", value, smallestSide, largestSide, "each side");
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
    std::vector<std::string> fields = splitCommas(value);
    auto [w, h] = parseSize(fields[0], "--canvas");
    int position = centreAnchor;
    uint32_t background = 0;
    bool positionGiven = false, colourGiven = false;
    for (size_t i = 1; i < fields.size(); ++i) {
        const std::string& field = fields[i];
        if (field.size() == 1 && !positionGiven && !colourGiven) {
            position = parseInteger(field, "--canvas");
            if (position < firstAnchor || position > lastAnchor) {
                throw outOfRange("--canvas", value, firstAnchor, lastAnchor, "POSITION");
            }
            positionGiven = true;
        } else if (!colourGiven) {
            background = parseColour(field, "--canvas");
            colourGiven = true;
        } else {
            throw UsageError{"--canvas: expected WxH[,POSITION][,RRGGBB], got '" + value + "'"};
        }
    }
    if (std::min(w, h) < 1 || std::max(w, h) > largestSide) {
        throw outOfRange("--canvas", fields[0], 1, largestSide, "each side");
    }
    return [w, h, position, background, size = fields[0]](Context& c) {
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
    std::vector<std::string> fields = splitCommas(value);
    const int slider = parseInteger(fields[0], option);
    if (slider < 0 || slider > twoColorsSliderMax) {
        throw outOfRange(option, value, 0, twoColorsSliderMax, "T");
    }
    size_t next = 1;
    TwoColorsDither dither = TwoColorsDither::None;
    if (next < fields.size()) {
        if (std::optional<TwoColorsDither> named = twoColorsDitherFromName(fields[next])) {
            dither = *named;
            ++next;
        }
    }
    uint32_t colour1 = twoColorsDefault1, colour2 = twoColorsDefault2;
    if (fields.size() - next == 2) {
        colour1 = parseColour(fields[next], option);
        colour2 = parseColour(fields[next + 1], option);
    } else if (fields.size() != next) {
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

}  // namespace batchtool
