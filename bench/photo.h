#pragma once
// The photograph every benchmark runs on.

#include "toolkit/image.h"

// A photograph of about `megapixels` million pixels: a wallpaper photograph installed by
// the lomiri-wallpapers package, tiled (mirrored, so no seams) or cropped to size; a
// deterministic generated picture with smooth gradients and noise when it is absent.
// The result is cached per size.
const Image& benchPhoto(int megapixels);

// Width x height used for `megapixels` (4:3).
void benchPhotoSize(int megapixels, int& width, int& height);
