// Turns the manual into what the program and the system need: the help window's text (a C++
// source with CR LF line breaks) and the man page of pixova. One source, so the help window
// and the man page never drift apart. (pixova-batch(1) comes from the batch tool's option
// table.)
//   pixova-make-manual manual.txt OUTPUT_FOLDER

#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "manual/roff.h"

namespace {

std::vector<std::string> readLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::string cString(const std::vector<std::string>& lines) {
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i) {
        out += "    \"";
        for (char c : lines[i]) {
            if (c == '\\' || c == '"') {
                out += '\\';
                out += c;
            } else if (c == '\t') {
                out += "\\t";
            } else {
                out += c;
            }
        }
        // The last line ends the text without a break.
        out += i + 1 < lines.size() ? "\\r\\n\"\n" : "\"\n";
    }
    return out;
}

// A section heading of the manual: capitals ending with ':' ("CURSOR MODE:").
bool isHeading(const std::string& line) {
    if (line.size() < 2 || line.back() != ':') return false;
    for (char c : line.substr(0, line.size() - 1)) {
        if (!(c >= 'A' && c <= 'Z') && c != ' ' && c != '-' && c != '_' && c != '/') return false;
    }
    return true;
}

std::string roffLine(const std::string& line) {
    std::string out;
    int column = 0;
    for (char c : line) {
        if (c == '\t') {
            do {
                out += ' ';
                ++column;
            } while (column % 4 != 0);
            continue;
        }
        appendRoffChar(out, c);
        ++column;
    }
    return roffLineStart(out);
}

std::string manPage(const std::vector<std::string>& lines, const std::string& name,
                    const std::string& summary, const std::string& synopsis) {
    std::ostringstream out;
    std::string upper;
    for (char c : name) upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    out << ".TH " << upper << " 1 \"2016-12-01\" \"Pixova 2.0\" \"User Commands\"\n";
    out << ".SH NAME\n" << roffLine(name) << " \\- " << summary << "\n";
    out << ".SH SYNOPSIS\n.nf\n" << synopsis << ".fi\n";
    out << ".SH DESCRIPTION\n.nf\n";
    for (const std::string& line : lines) {
        if (line.empty()) {
            out << "\n";
        } else if (isHeading(line)) {
            out << "\\fB" << roffLine(line) << "\\fR\n";
        } else {
            out << roffLine(line) << "\n";
        }
    }
    out << ".fi\n.SH SEE ALSO\npixova\\-batch(1)\n";
    return out.str();
}

bool writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: pixova-make-manual manual.txt OUTPUT_FOLDER\n";
        return 2;
    }
    std::vector<std::string> lines = readLines(argv[1]);
    if (lines.empty()) {
        std::cerr << "pixova-make-manual: " << argv[1] << " is empty or unreadable\n";
        return 1;
    }
    std::string folder = std::string(argv[2]) + "/";
    std::string source =
        "// Generated from src/manual/manual.txt by pixova-make-manual.\n"
        "#include \"manual/manual.h\"\n\n"
        "const char helpDocument[] =\n" +
        cString(lines) + "    ;\n";
    bool ok = writeFile(folder + "manual_text.cpp", source) &&
              writeFile(folder + "pixova.1",
                        manPage(lines, "pixova", "image editor for colour quantization",
                                "\\fBpixova\\fR [\\fIFILE\\fR]\n"));
    if (!ok) {
        std::cerr << "pixova-make-manual: cannot write into " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
