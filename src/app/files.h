#pragma once
// Loading and saving the document.

#include <string>

#include "toolkit/image.h"
#include "toolkit/image_metadata.h"

extern std::string loadFolder;  // where the open dialog starts
extern bool loadFolderSet;
extern int loadPatternIndex;
extern int savePatternIndex;
extern std::string saveFilePattern;

inline constexpr const char* openFilePattern =
    "all supported formats|*.png;*.jpg;*.jpeg;*.jp2;;*.bmp;*.gif;*.webp;*.tif;*.tiff|*.png|*.png|"
    "*.jpg, *.jpeg|*.jpg;*.jpeg|*.jpeg2000|*.jp2|*.bmp|*.bmp|GIF|*.gif|WebP|*.webp|"
    "TIFF|*.tif;*.tiff|all files|*.*";
inline constexpr const char* defaultSaveFilePattern =
    "image.png|*.png|image.jpg|*.jpg|image.jpeg|*.jpeg|image.jpeg2000|*.jp2|image.bmp|*.bmp|"
    "GIF|*.gif|WebP|*.webp|TIFF|*.tif";

// What Save asks before it writes a GIF of a picture that does not fit one as it is.
inline constexpr const char* gifQuestionTitle = "Save as GIF";
inline constexpr const char* gifPartialAlphaQuestion =
    "A GIF cannot hold partial transparency. Save it with pixels below alpha 128 fully "
    "transparent and the rest opaque?";
inline std::string gifReduceQuestion(int64_t colours) {
    return "The image has " + std::to_string(colours) +
           " colors; a GIF holds 256. Reduce it with Best quality, dithered?";
}

// Makes `image` the document, named by `path` (the base name is its file name without the
// extension) and carrying `metadata`: the selection goes, the mover is chosen, the zoom
// starts anew, the window fits the picture and the history begins with it.
void beginDocument(Image image, const std::string& path, ImageMetadata metadata);
// The same for a picture that has no file yet (New image, paste as new): "NewImage" in the
// current folder, without metadata.
void beginUnsavedDocument(Image image);

void loadImageFile();
void saveImageFile();
// Opens `path` as the document, as a load through the dialog would: on failure a message
// names the file and the reason, and nothing changes. True when the file was opened.
bool openImagePath(const std::string& path);
// The path Save writes for the name chosen in the dialog and the chosen filter: the last
// extension of the file name is replaced by the filter's.
std::string savePathFor(const std::string& chosen, int filterIndex);
// The save filter preselected for a document path, or `current` when its extension names
// none.
int savePatternForPath(const std::string& path, int current);

void resetFileState();
