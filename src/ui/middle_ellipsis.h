// A text shortened to a width by an ellipsis in its middle, measured by the caller in the font it is drawn in.
#pragma once
#include <cstddef>

// The width in pixels of text[0, length) as it will be drawn; context is the caller's (a device context).
using MeasureText = int (*)(void* context, const wchar_t* text, size_t length);

// Writes text into out (cap units, at least wcslen(text) + 1) as it fits max_width pixels: whole when it measures
// at most max_width; otherwise its first `fixed` units, then the start and the end of the rest with TEXT_ELLIPSIS
// between them in place of the units taken out of its middle, keeping as many units as measure within max_width
// (the end one more than the start when the count is odd: a folder's own name is at its end). A surrogate pair is
// kept or taken out whole. When not even the fixed units and the ellipsis fit, they are what is written. Returns
// true when the text was shortened.
bool fit_middle(const wchar_t* text, size_t fixed, int max_width, MeasureText measure, void* context, wchar_t* out,
                size_t cap);
