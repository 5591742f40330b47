#include "batch/batch.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <new>
#include <optional>
#include <sstream>

#include "batch/batch_plan.h"
#include "quantize/best_quantize.h"
#include "quantize/quantize.h"
#include "toolkit/atomic_file.h"
#include "toolkit/codecs/gif.h"
#include "toolkit/parallel.h"

#ifndef PIXOVA_VERSION
#define PIXOVA_VERSION "unknown"
#endif

namespace fs = std::filesystem;

namespace {

using namespace batchtool;

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
