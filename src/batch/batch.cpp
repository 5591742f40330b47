#include "batch/batch.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <functional>
#include <memory>
#include <optional>

#include "adjust/blur.h"
#include "adjust/brightness.h"
#include "adjust/colour_ops.h"
#include "adjust/effects.h"
#include "core/rect.h"
#include "quantize/palettes.h"
#include "quantize/quantize.h"
#include "toolkit/codecs/codec.h"

namespace {

constexpr const char* usageLine =
    "usage: pixova-batch INPUT [OPTION ...] [OUTPUT]  (pixova-batch --help for the options)";

constexpr const char* helpText = R"(usage: pixova-batch INPUT [OPTION ...] [OUTPUT]

Runs Pixova's operations on INPUT in the order given and writes OUTPUT in the format its
extension names (.png .jpg .jpeg .jp2 .bmp), with the same encoders and qualities as Save.

Options:
  --select L,T,R,B      the following operations work on this inclusive image rectangle
  --select-none         the following operations work on the whole image again
  --negative            Negative
  --gray                Gray Scale
  --quantize STYLE      reduce the colours: uniform, popularity, adaptive, cga16, ega64,
                        trucolor256, human256, neuquant256, flat8, flat64, flat512,
                        flat4096, lemon128, berry128, ocean128
  --limit N             LIMIT of the next --quantize, or of the last one when none
                        follows (Uniform: levels per channel 2..16; Popularity,
                        Adaptive: colours 2..256; clamped into range; default 3, 32, 32)
  --dither              dither the next --quantize, or the last one when none follows
  --count               print the number of distinct colours (of the rectangle, if any)
  --effect NAME         gaussianblur, edgedetect, pencil, artist, glowie, blush, spacy,
                        spectrum, scratch, noise, phantom, demon, faded, xfactor,
                        scramble, unscramble
  --brightness A[,hold|clamp|wrap][,ratio|equal][,proportional][,r][,g][,b]
                        brightness -128..128; default hold ratio, ratio mode, not
                        proportional, all channels; naming r, g or b enables only those
  --contrast A          contrast -100..100
  --help                this text
)";

constexpr int gaussianBlurEffect = 33;

struct UsageError {
    std::string message;
};

struct Context {
    Image image;
    std::optional<Rect> select;  // image rectangle; none = whole image
    std::ostream* out = nullptr;

    Rect rect() const { return select ? *select : wholeImage(image); }
};

using Step = std::function<void(Context&)>;

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

// LIMIT and Dither of one --quantize.
struct QuantizeSettings {
    std::optional<int> limit;
    bool dither = false;
};

Step quantizeStep(const std::string& value, std::shared_ptr<QuantizeSettings> settings) {
    int style = styleFromBatchName(normalisedName(value));
    if (style < 0) throw UsageError{"--quantize: unknown style '" + value + "'"};
    return [style, settings](Context& c) {
        int limit = settings->limit.value_or(styleInfo(style).defaultLimit);
        runQuantizeStyle(c.image, c.rect(), style, limit, settings->dither);
    };
}

Step effectStep(const std::string& value) {
    std::string name = normalisedName(value);
    if (name == "gaussianblur") {
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
        throw UsageError{"--brightness: amount must be -128..128"};
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
    if (amount < -100 || amount > 100) throw UsageError{"--contrast: amount must be -100..100"};
    return [amount](Context& c) { applyContrast(c.image, c.rect(), amount); };
}

struct Plan {
    std::string input;
    std::string output;
    std::vector<Step> steps;
    bool help = false;
};

Plan parse(const std::vector<std::string>& args) {
    Plan plan;
    std::vector<std::string> positional;
    // --limit and --dither belong to the next --quantize; given after the last one, they
    // belong to that one ("--quantize adaptive --limit 16 --dither").
    QuantizeSettings pending;
    bool pendingSet = false;
    std::shared_ptr<QuantizeSettings> lastQuantize;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) throw UsageError{a + ": missing value"};
            return args[++i];
        };
        if (a == "--help" || a == "-h") {
            plan.help = true;
        } else if (a == "--select") {
            plan.steps.push_back(selectStep(value()));
        } else if (a == "--select-none") {
            plan.steps.push_back([](Context& c) { c.select.reset(); });
        } else if (a == "--negative") {
            plan.steps.push_back([](Context& c) { negativePixels(c.image, c.rect()); });
        } else if (a == "--gray") {
            plan.steps.push_back([](Context& c) { grayScalePixels(c.image, c.rect()); });
        } else if (a == "--quantize") {
            lastQuantize = std::make_shared<QuantizeSettings>(pending);
            pending = QuantizeSettings{};
            pendingSet = false;
            plan.steps.push_back(quantizeStep(value(), lastQuantize));
        } else if (a == "--limit") {
            pending.limit = parseInteger(value(), "--limit");
            pendingSet = true;
        } else if (a == "--dither") {
            pending.dither = true;
            pendingSet = true;
        } else if (a == "--count") {
            plan.steps.push_back([](Context& c) {
                Rect r = c.rect();
                int64_t n =
                    coversWholeImage(r, c.image)
                        ? countUniqueColours(c.image)
                        : countUniqueColours(copyRect(c.image, r.left, r.top, r.right, r.bottom));
                *c.out << n << "\n";
            });
        } else if (a == "--effect") {
            plan.steps.push_back(effectStep(value()));
        } else if (a == "--brightness") {
            plan.steps.push_back(brightnessStep(value()));
        } else if (a == "--contrast") {
            plan.steps.push_back(contrastStep(value()));
        } else if (a.size() > 1 && a[0] == '-' && a != "-") {
            throw UsageError{"unknown option '" + a + "'"};
        } else {
            positional.push_back(a);
        }
    }
    if (pendingSet && lastQuantize) {
        if (pending.limit) lastQuantize->limit = pending.limit;
        if (pending.dither) lastQuantize->dither = true;
    }
    if (plan.help) return plan;
    if (positional.empty()) throw UsageError{"no input file"};
    if (positional.size() > 2)
        throw UsageError{"more than one output file: '" + positional[2] + "'"};
    plan.input = positional[0];
    if (positional.size() == 2) {
        plan.output = positional[1];
        if (formatFromPath(plan.output) == ImageFormat::Unknown) {
            throw UsageError{"output '" + plan.output +
                             "' must end in .png, .jpg, .jpeg, .jp2 or .bmp"};
        }
    }
    return plan;
}

}  // namespace

std::string normalisedName(const std::string& name) {
    std::string out;
    for (unsigned char ch : name) {
        if (std::isalnum(ch)) out += static_cast<char>(std::tolower(ch));
    }
    return out;
}

int runBatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Plan plan;
    try {
        plan = parse(args);
    } catch (const UsageError& e) {
        err << "pixova-batch: " << e.message << "\n" << usageLine << "\n";
        return batchUsageError;
    }
    if (plan.help) {
        out << helpText;
        return batchOk;
    }
    initQuantize();
    DecodeResult input = readImageFile(plan.input);
    if (!input.ok()) {
        err << "pixova-batch: " << plan.input << ": " << input.error << "\n";
        return batchFileError;
    }
    Context context;
    context.image = std::move(input.image);
    context.out = &out;
    try {
        for (Step& step : plan.steps) step(context);
    } catch (const UsageError& e) {
        err << "pixova-batch: " << e.message << "\n" << usageLine << "\n";
        return batchUsageError;
    }
    out.flush();
    if (!plan.output.empty()) {
        std::string error = writeImageFile(context.image, plan.output, formatFromPath(plan.output));
        if (!error.empty()) {
            err << "pixova-batch: " << plan.output << ": " << error << "\n";
            return batchFileError;
        }
    }
    return batchOk;
}
