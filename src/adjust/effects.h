#pragma once
// The fifteen one-click effects of the Effects menu, each a fixed sequence of elementary
// passes over an image. The exclusive-or passes chain every pixel to its successor along a
// scan order; they are exact and invertible, which is what lets "unscramble" undo
// "scramble" bit for bit.
//
// Every pass combines the 24-bit colour values (red, green, blue) only: the alpha byte of
// each pixel stays where it is and is never changed.

#include <cstdint>
#include <span>
#include <string_view>

#include "core/commands.h"
#include "core/rect.h"
#include "toolkit/image.h"

// A total order of the pixels of a W x H image.
enum class ScanOrder {
    Row,           // rows from the top, each left to right
    Column,        // columns from the left, each top to bottom
    AntiDiagonal,  // by x + y from W + H - 2 down to 0; within one, x from largest to smallest
    Diagonal,      // by x - y from -(H - 1) up to W - 1; within one, y from smallest to largest
};

// Every pixel but the last of the order becomes itself xor the value its successor had
// before the pass.
void differencePass(Image& image, ScanOrder order);
// Every pixel becomes the xor of itself and all later pixels of the order; the exact
// inverse of differencePass with the same order.
void accumulatePass(Image& image, ScanOrder order);
// Gray level (306 r + 601 g + 117 b) / 1024 in all three components.
void grayPass(Image& image);
// Red, green and blue inverted.
void invertPass(Image& image);
// Each row reversed.
void mirrorPass(Image& image);

enum class PassKind { Difference, Accumulate, Gray, Invert, Mirror };

struct EffectPass {
    PassKind kind;
    ScanOrder order = ScanOrder::Row;  // used by Difference and Accumulate only
};

struct EffectRecipe {
    int commandId;
    std::string_view caption;  // as in the Effects menu
    std::span<const EffectPass> passes;
};

// The fifteen effects in Effects menu order.
std::span<const EffectRecipe> effectRecipes();

// The recipe of a command identifier, or nullptr.
const EffectRecipe* findEffect(int commandId);

// The recipe whose caption matches `caption` ignoring letter case ("Scramble" as the
// pop-up menu spells it finds "scramble"), or nullptr.
const EffectRecipe* findEffectByCaption(std::string_view caption);

// Runs one pass on the whole image.
void runPass(Image& image, const EffectPass& pass);

// Runs the effect of `commandId` on `rect` (clipped to the image) as an image of its own:
// the scan orders start and end at the rectangle's corners and pixels outside it are left
// alone. Returns false, changing nothing, for an identifier that is not an effect.
bool applyEffect(Image& image, const Rect& rect, int commandId);
