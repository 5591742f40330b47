// The option table, and what is made of it: the command line's plan, --help and the
// manual page.

#include <algorithm>
#include <functional>
#include <sstream>

#include "adjust/brightness.h"
#include "adjust/colour_ops.h"
#include "batch/batch_plan.h"
#include "canvas/geometry.h"
#include "manual/roff.h"
#include "quantize/formula_quantize.h"
#include "quantize/quantize.h"
#include "quantize/two_colors.h"
#include "tools/palette_files.h"

#ifndef PIXOVA_VERSION
#define PIXOVA_VERSION "unknown"
#endif

namespace batchtool {

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
         "resize image to W x H (each side " + rangeText(smallestSide, largestSide) +
             ") by Mitchell-Netravali resampling",
         Role::Changes, stepOf(resizeStep)},
        {"--canvas", "WxH[,POSITION][,RRGGBB]",
         "resize canvas to W x H (each side at most " + std::to_string(largestSide) +
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

}  // namespace batchtool
