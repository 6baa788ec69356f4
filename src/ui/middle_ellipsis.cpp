// Middle-ellipsis shortening: the longest start-and-end of a text that fits a width (portable).
#include "ui/middle_ellipsis.h"

#include <cwchar>

#include "ui/texts.h"

namespace {

bool is_high_surrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(wchar_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// One candidate: the fixed units, `kept` units of the rest split between its start and its end around the
// ellipsis. Writes it into out and returns its length.
size_t compose(const wchar_t* text, size_t length, size_t fixed, size_t kept, wchar_t* out) {
    size_t head = kept / 2;
    size_t tail = kept - head;
    if (head > 0 && is_high_surrogate(text[fixed + head - 1])) --head;
    if (tail > 0 && is_low_surrogate(text[length - tail])) --tail;
    const size_t ellipsis = wcslen(TEXT_ELLIPSIS);
    size_t n = 0;
    wmemcpy(out, text, fixed + head);
    n += fixed + head;
    wmemcpy(out + n, TEXT_ELLIPSIS, ellipsis);
    n += ellipsis;
    wmemcpy(out + n, text + length - tail, tail);
    n += tail;
    out[n] = L'\0';
    return n;
}

}  // namespace

bool fit_middle(const wchar_t* text, size_t fixed, int max_width, MeasureText measure, void* context, wchar_t* out,
                size_t cap) {
    const size_t length = wcslen(text);
    if (length + 1 > cap) return false;  // outside the contract: leave out untouched rather than overrun it
    wmemcpy(out, text, length + 1);
    if (fixed >= length || measure(context, out, length) <= max_width) return false;

    // Every unit kept adds its width, so the widths grow with the units kept: the most that fit is found by
    // halving. At most all but one unit of the rest is kept, since the ellipsis takes the place of at least one.
    const size_t rest = length - fixed;
    size_t low = 0, high = rest - 1;
    while (low < high) {
        const size_t middle = (low + high + 1) / 2;
        const size_t n = compose(text, length, fixed, middle, out);
        if (measure(context, out, n) <= max_width) low = middle;
        else high = middle - 1;
    }
    compose(text, length, fixed, low, out);
    return true;
}
