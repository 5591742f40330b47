#include "app/files.h"

#include <algorithm>

#include "app/main_window.h"
#include "app/recent_files.h"
#include "app/view.h"
#include "canvas/selector.h"
#include "core/paths.h"
#include "core/registry.h"
#include "core/replace_question.h"
#include "core/state.h"
#include "core/undo.h"
#include "quantize/best_quantize.h"
#include "toolkit/codecs/codec.h"
#include "toolkit/codecs/gif.h"
#include "toolkit/gui.h"
#include "toolkit/image_store.h"

std::string loadFolder;
bool loadFolderSet = false;
int loadPatternIndex = 0;
int savePatternIndex = 1;
std::string saveFilePattern;

namespace {

struct SaveFormat {
    const char* extension;
    ImageFormat format;
};

// Indexed by the save dialog's filter.
const SaveFormat saveFormats[] = {
    {".png", ImageFormat::Png},      {".jpg", ImageFormat::Jpeg}, {".jpeg", ImageFormat::Jpeg},
    {".jp2", ImageFormat::Jpeg2000}, {".bmp", ImageFormat::Bmp},  {".gif", ImageFormat::Gif},
    {".webp", ImageFormat::WebP},    {".tif", ImageFormat::Tiff},
};
constexpr int saveFormatCount = 8;

// The picture a GIF can hold, made from a copy of the document after asking: the
// document itself never changes by a save. False when the user said no.
bool fitForGif(Image& picture) {
    if (hasPartialAlpha(picture)) {
        if (dialogs().messageBox(gifQuestionTitle, gifPartialAlphaQuestion, buttonsYesNo) !=
            answerYes) {
            return false;
        }
        thresholdAlpha(picture);
    }
    const int64_t colours = gifColourCount(picture);
    if (colours > gifMaxColours) {
        if (dialogs().messageBox(gifQuestionTitle, gifReduceQuestion(colours), buttonsYesNo) !=
            answerYes) {
            return false;
        }
        picture = reducedForGif(picture);
    }
    return true;
}

}  // namespace

std::string savePathFor(const std::string& chosen, int filterIndex) {
    int index = std::clamp(filterIndex, 0, saveFormatCount - 1);
    return folderPart(chosen) + withoutExtension(filePart(chosen)) + saveFormats[index].extension;
}

int savePatternForPath(const std::string& path, int current) {
    std::string ext = lowerExtension(path);
    if (ext == "png") return 0;
    if (ext == "jpg") return 1;
    if (ext == "jpeg") return 2;
    if (ext == "jpeg2000") return 3;
    if (ext == "bmp") return 4;
    if (ext == "gif") return 5;
    if (ext == "webp") return 6;
    if (ext == "tif" || ext == "tiff") return 7;
    return current;
}

void beginDocument(Image image, const std::string& path, ImageMetadata metadata) {
    storeImage(viewImage, std::move(image));
    currentFilePath = path;
    baseName = withoutExtension(filePart(path));
    documentMetadata = std::move(metadata);
    releaseSelector();
    cursorMode = moverMode;
    zoomForNewDocument();
    fitWindowToImage(viewImage);
    // Last, so that whatever listens to the history sees the new document whole.
    resetUndo();
}

void beginUnsavedDocument(Image image) {
    beginDocument(std::move(image), folderPart(currentFilePath) + newImageName, {});
}

void loadImageFile() {
    if (!loadFolderSet) {
        loadFolder = folderPart(currentFilePath);
        loadFolderSet = true;
    }
    int pattern = loadPatternIndex;
    std::string path =
        dialogs().openFile("Select image to process", loadFolder, openFilePattern, pattern);
    if (path.empty()) return;
    loadPatternIndex = pattern;
    openImagePath(path);
}

bool openImagePath(const std::string& path) {
    // Decode before anything changes: a file that fails leaves the document, its name
    // and the folder as they were.
    DecodeResult decoded = readImageFile(path);
    if (!decoded.ok()) {
        dialogs().messageBox("Load image",
                             "Could not open " + filePart(path) + ": " + decoded.error, buttonsOk);
        return false;
    }
    loadFolder = folderPart(path);
    beginDocument(std::move(decoded.image), path, std::move(decoded.metadata));
    noteRecentFile(path);
    if (!decoded.notice.empty()) services().showNotice(decoded.notice);
    return true;
}

void saveImageFile() {
    Image* view = findImage(viewImage);
    if (!view) return;
    savePatternIndex = savePatternForPath(currentFilePath, savePatternIndex);
    int pattern = savePatternIndex;
    std::string chosen = dialogs().saveFile("Save image", folderPart(currentFilePath) + baseName,
                                            saveFilePattern, pattern);
    if (chosen.empty()) return;
    savePatternIndex = std::clamp(pattern, 0, saveFormatCount - 1);
    std::string path = savePathFor(chosen, savePatternIndex);
    if (!replaceAllowed(path)) return;
    const ImageFormat format = saveFormats[savePatternIndex].format;
    std::string error;
    if (format == ImageFormat::Gif) {
        Image picture = *view;
        if (!fitForGif(picture)) return;
        error = writeImageFile(picture, path, format, documentMetadata);
    } else {
        error = writeImageFile(*view, path, format, documentMetadata);
    }
    if (!error.empty()) {
        dialogs().messageBox("Save image", "Could not save " + filePart(path) + ": " + error,
                             buttonsOk);
        return;
    }
    currentFilePath = path;
    markDocumentSaved();
    noteRecentFile(path);
    setStatusBarText(mainStatusBar, 0, fileStatusText(path, view->width, view->height));
}

void resetFileState() {
    currentFilePath.clear();
    baseName.clear();
    loadFolder.clear();
    loadFolderSet = false;
    loadPatternIndex = 0;
    savePatternIndex = 1;
    saveFilePattern = defaultSaveFilePattern;
}
