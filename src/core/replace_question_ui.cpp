#include <filesystem>

#include "core/replace_question.h"
#include "toolkit/gui.h"

bool replaceAllowed(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return true;
    return dialogs().messageBox("File Exists!", "Do you wish to overwrite?", buttonsYesNo) ==
           answerYes;
}
