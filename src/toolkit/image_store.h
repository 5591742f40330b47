#pragma once
// Numbered images: the program addresses its images by small numbers. Creating under a
// number in use replaces that image; -1 asks for a free number.

#include "toolkit/image.h"

inline constexpr int anyImageNumber = -1;

// The image with number n, or nullptr when there is none.
Image* findImage(int n);
bool imageExists(int n);

// Stores `image` under n (or under a free number when n is -1); returns the number used.
int storeImage(int n, Image image);

// Creates a w x h image of the given depth filled with `fill`; returns its number, or 0 when
// the size is not allowed.
int createImage(int n, int w, int h, int depth, uint32_t fill);

// Copies image `source` to number `target` (-1: a free number); returns the number, 0 when
// the source does not exist.
int copyImage(int source, int target);

void freeImage(int n);
void freeAllImages();
int imageCount();
