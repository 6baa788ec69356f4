// The directory line's middle ellipsis: what is kept of a text too wide for its room.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "ui/middle_ellipsis.h"

namespace {

// A 12-pixel Song-style face as the window draws it: ASCII half width (6 pixels), everything else full width
// (12 pixels, each surrogate unit too). Counts its calls in context.
int fixed_pitch(void* calls, const wchar_t* text, size_t length) {
    ++*static_cast<int*>(calls);
    int width = 0;
    for (size_t i = 0; i < length; ++i) width += text[i] < 0x80 ? 6 : 12;
    return width;
}

constexpr size_t LEAD = 5;  // "安装路径：", 60 pixels

}  // namespace

TEST(MiddleEllipsis, KeepsLeadStartAndEndOfWhatFits) {
    struct Case {
        const wchar_t* text;
        int max_width;
        const wchar_t* expected;
        bool shortened;
    } cases[] = {
        {L"安装路径：C:\\Apps", 102, L"安装路径：C:\\Apps", false},  // exactly as wide as its room
        {L"安装路径：C:\\Apps", 101, L"安装路径：C:…ps", true},      // one pixel short: 4 of 7 units kept
        {L"安装路径：D:\\Very Long Folder Name\\Deeper\\Project", 200, L"安装路径：D:\\Very Lo…per\\Project", true},
        {L"安装路径：C:\\霁桐餐饮\\收银", 120, L"安装路径：C:\\…\\收银", true},  // full-width units count double
        {L"安装路径：C:\\Apps", 50, L"安装路径：…", true},                       // not even the lead fits
        // A surrogate pair (U+20000, as UTF-16 units on every platform) at the cut stays whole: the end keeps "c"
        // rather than the pair's second half.
        {L"安装路径：ab\xD840\xDC00"
         L"c",
         101, L"安装路径：ab…c", true},
    };
    for (const Case& c : cases) {
        wchar_t out[128];
        int calls = 0;
        EXPECT_EQ(fit_middle(c.text, LEAD, c.max_width, fixed_pitch, &calls, out, 128), c.shortened) << c.max_width;
        EXPECT_EQ(std::wstring(out), std::wstring(c.expected)) << c.max_width;
    }
}

TEST(MiddleEllipsis, MeasuresFewTimesForALongFolder) {
    // 1 + 1018 units of folder: the whole line once, then about log2(1018) candidates, not one per unit.
    std::wstring text = L"安装路径：C:\\" + std::wstring(1015, L'x');
    wchar_t out[1200];
    int calls = 0;
    EXPECT_TRUE(fit_middle(text.c_str(), LEAD, 355, fixed_pitch, &calls, out, 1200));
    // 60 + 12 for the ellipsis leaves 283 pixels: 47 half-width units, 23 at the start and 24 at the end.
    EXPECT_EQ(std::wstring(out), L"安装路径：C:\\" + std::wstring(20, L'x') + L"…" + std::wstring(24, L'x'));
    EXPECT_LE(calls, 12);
}
