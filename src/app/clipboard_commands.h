#pragma once
// Copying the image (or the selection) to the system clipboard with a short notice, and
// pasting the clipboard's image as a new document.

inline constexpr const char* copiedNotice = "copied to clipboard.";
inline constexpr int copyNoticeMilliseconds = 1250;

void copyToClipboard();
void pasteNewImage();
void registerClipboardCommands();
