#pragma once
// The commands that change the document's pixels in place (gray scale, negative, the
// effects, the blur) and the colour count. Each states its frame once.

#include "core/operation.h"

// Gray Scale and Negative: never refused, the step recorded before the view refresh.
inline constexpr OperationFrame neverRefusedFrame{};
// The effects and the blur are refused while a tool window is open.
inline constexpr OperationFrame effectFrame{.refuseWhileToolOpen = true};

void grayScale(int image);
void negative(int image);
// The Gaussian blur of the document or its selection: 1 when done, 0 when refused.
int gaussianBlur(int image);
// One of the fifteen effects (command 50..64) on the document or its selection.
void applyEffectCommand(int commandId);
// The "Unique colors" message: the distinct colours of the document or its selection.
void showUniqueColours();

void registerOperations();
