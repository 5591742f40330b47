#pragma once
// Text as roff shows it literally, shared by the two man page generators.

#include <string>

// Hyphens as minus signs (so they can be searched for and copied) and backslashes escaped.
inline void appendRoffChar(std::string& out, char c) {
    if (c == '\\') {
        out += "\\e";
    } else if (c == '-') {
        out += "\\-";
    } else {
        out += c;
    }
}

// A line starting with a control character would be read as a request.
inline std::string roffLineStart(std::string line) {
    if (!line.empty() && (line[0] == '.' || line[0] == '\'')) line = "\\&" + line;
    return line;
}
