#pragma once
// "Compare styles", a sheet of the Quantize window: the visible area of the picture in
// every style, each at its remembered LIMIT and with the Dither box as set, labelled with
// the figures pixova-batch --compare prints for that picture. A thread works the styles
// out one after another and the sheet fills in as they come; closing it stops the work.
// A click on a thumbnail chooses that style in the Quantize window.

#include <string>
#include <vector>

#include "quantize/style_comparison.h"
#include "toolkit/gui.h"

inline constexpr const char* compareSheetTitle = "Compare styles";
// The largest thumbnail; a smaller picture is shown as it is.
inline constexpr int compareThumbWidth = 180;
inline constexpr int compareThumbHeight = 135;

// Opens the sheet for the document as the canvas shows it (again, if it is open).
void openCompareSheet();
// Stops the work and closes the sheet; nothing when it is closed.
void closeCompareSheet();
bool compareSheetOpen();
// True once every style is shown.
bool compareSheetComplete();
// The rows shown so far, in STYLE order, and the picture they were worked out on.
std::vector<StyleComparison> compareSheetRows();
const Image& compareSheetSource();
// The thumbnail and the label of a style (-1 while the sheet is closed).
int compareSheetThumbnail(int style);
int compareSheetLabel(int style);
// "Adaptive" / "32 colors, PSNR 31.25 dB" / "mean dE 3.412, PNG 1234 B", the bytes marked
// "*" when the PNG is not indexed (more than 256 colours).
std::string compareLabelText(const StyleComparison& row);

void compareSheetEvent(const Event& event);
void registerCompareSheet();
