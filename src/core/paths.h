#pragma once
// Splitting the document's path, as the status bar, Save and the preferences need it.

#include <string>

// Everything up to and including the last "/" ("" when there is none).
std::string folderPart(const std::string& path);
// The text after the last "/".
std::string filePart(const std::string& path);
// The file part without its last extension.
std::string withoutExtension(const std::string& file);
// The extension of the file part (text after its last "."), in lower case; "" when none.
std::string lowerExtension(const std::string& path);
