// The platform's code page 936 conversions: exact both ways, refusing what has no form, never overrunning out.
#include <gtest/gtest.h>

#include <string>

#include "platform/code_page.h"

namespace {

struct Converted {
    bool ok;
    std::string text;
};

Converted to_utf8(const std::string& cp936, size_t cap = 64) {
    std::string out(cap, '#');
    size_t len = 0;
    const bool ok = os_utf8_from_cp936(cp936.data(), cp936.size(), &out[0], out.size(), &len);
    return {ok, ok ? out.substr(0, len) : ""};
}

Converted to_cp936(const std::string& utf8, size_t cap = 64) {
    std::string out(cap, '#');
    size_t len = 0;
    const bool ok = os_cp936_from_utf8(utf8.data(), utf8.size(), &out[0], out.size(), &len);
    return {ok, ok ? out.substr(0, len) : ""};
}

}  // namespace

TEST(CodePage, NamesConvertBothWaysUnchanged) {
    const struct {
        const char* what;
        std::string utf8, cp936;
    } cases[] = {
        {"nothing", "", ""},
        {"ASCII", "\\cashier\\menu.txt", "\\cashier\\menu.txt"},
        {"Chinese", "\xe9\x9c\x81\xe6\xa1\x90", "\xf6\xab\xcd\xa9"},
    };
    for (const auto& c : cases) {
        const Converted forth = to_cp936(c.utf8);
        EXPECT_TRUE(forth.ok) << c.what;
        EXPECT_EQ(forth.text, c.cp936) << c.what;
        const Converted back = to_utf8(c.cp936);
        EXPECT_TRUE(back.ok) << c.what;
        EXPECT_EQ(back.text, c.utf8) << c.what;
    }
}

TEST(CodePage, WhatHasNoExactFormIsRefused) {
    EXPECT_FALSE(to_cp936("\xf0\x9f\x98\x80").ok) << "an emoji has no code page 936 form";
    EXPECT_FALSE(to_cp936("a\xff").ok) << "not UTF-8";
    EXPECT_FALSE(to_utf8("\xf6").ok) << "a lead byte with no trail byte";
}

TEST(CodePage, AResultThatDoesNotFitFails) {
    // Two characters take 4 bytes of code page 936 and 6 of UTF-8, each with its NUL after it.
    EXPECT_FALSE(to_cp936("\xe9\x9c\x81\xe6\xa1\x90", 4).ok);
    EXPECT_TRUE(to_cp936("\xe9\x9c\x81\xe6\xa1\x90", 5).ok);
    EXPECT_FALSE(to_utf8("\xf6\xab\xcd\xa9", 6).ok);
    EXPECT_TRUE(to_utf8("\xf6\xab\xcd\xa9", 7).ok);
}
