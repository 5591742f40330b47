#pragma once
// What the files of pixova-batch share: the plan the command line builds, the steps it
// runs on each image, and the option table that makes both. Not for use outside src/batch.

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "batch/batch.h"
#include "core/rect.h"
#include "toolkit/codecs/codec.h"
#include "toolkit/image.h"

namespace batchtool {

constexpr const char* usageText =
    "usage: pixova-batch [OPTION ...] INPUT [OUTPUT]\n"
    "       pixova-batch [OPTION ...] INPUT -o OUTPUT\n"
    "       pixova-batch [OPTION ...] INPUT ... --out-dir DIR | --ext SUFFIX\n"
    "       (pixova-batch --help for the options)";

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

using ApplyOption = std::function<void(Plan&, const std::string& value)>;

// ---- Values (batch_steps.cpp) ----

int parseInteger(const std::string& text, const std::string& option);
std::string rangeText(int low, int high);
// "--contrast 300: takes -100 to 100": a value out of range is a usage error that says
// what the range is.
UsageError outOfRange(const std::string& option, const std::string& value, int low, int high,
                      const std::string& what = "");
std::vector<std::string> splitCommas(const std::string& text);
// `text` in lines of at most `width` characters, broken at spaces.
std::vector<std::string> wrapped(const std::string& text, size_t width);
std::string joined(const std::vector<std::string>& names);
std::vector<std::string> styleNames();
std::vector<std::string> effectNames();
const char* extensionOf(ImageFormat format);

// ---- Steps (batch_steps.cpp) ----

Step selectStep(const std::string& value);
void addQuantize(Plan& plan, const std::string& value);
double parseTargetDeltaE(const std::string& text);
void checkTarget(const QuantizeSettings& settings);
void checkLimit(const QuantizeSettings& settings);
void compareStep(Context& c);
Step effectStep(const std::string& value);
Step brightnessStep(const std::string& value);
Step contrastStep(const std::string& value);
Step rotateStep(const std::string& value);
Step resizeStep(const std::string& value);
Step canvasStep(const std::string& value);
void cropStep(Context& c);
Step twoColorsStep(const std::string& value);
void reportStep(Context& c);
void addMeasure(Plan& plan, const std::string& path);
void countStep(Context& c);
Step paletteOutStep(const std::string& path);
void addRemap(Plan& plan, const std::string& value);

// ---- Options (batch_options.cpp) ----

const std::vector<Option>& optionTable();
std::string helpText();
std::string manPage();
bool isStandardStream(const std::string& path);
// The plan of a command line; throws UsageError for what cannot work.
Plan parse(const std::vector<std::string>& args);

}  // namespace batchtool
