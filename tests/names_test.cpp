// Payload name checks: what may be joined to the install directory, and code page 936 stepping.
#include <gtest/gtest.h>

#include <cstring>

#include "payload/names.h"

namespace {
bool safe(const std::string& name) {
    return payload_name_is_safe(reinterpret_cast<const unsigned char*>(name.data()), name.size());
}
}  // namespace

TEST(PayloadNames, SafeAndUnsafeNames) {
    struct Case {
        std::string name;
        bool safe;
    } cases[] = {
        {"\\update", true},
        {"\\update\\clear.bat", true},
        {"\\a\\b.c.d", true},
        {"\\.hidden", true},
        {"\\a..b", true},
        {"\\CONSOLE.txt", true},
        {"\\COM0", true},
        {"\\\x81\x5C", true},  // 乗: a double-byte name whose trail byte is 0x5C
        {"\\\x87\x5C\\\x81\x5C.txt", true},
        {"", false},
        {"\\", false},
        {"\\..", false},
        {"\\.", false},
        {"\\..\\x", false},
        {"\\a\\..\\..\\x", false},
        {"\\a/../x", false},
        {"/../x", false},
        {"\\ .. ", false},
        {"\\...", false},
        {"\\a\\\\b", false},  // empty component
        {"\\\\x", false},     // empty first component, a network path's start
        {"\\a\\", false},     // ends with a separator
        {"\\c:x", false},
        {"C:\\x", false},  // a drive path without the leading separator
        {"\\a:stream", false},
        {"\\a\x01", false},
        {std::string("\\a\0b", 4), false},
        {"\\a\x7F", false},
        {"\\CON", false},
        {"\\aux.txt", false},
        {"\\dir\\lpt1", false},
        {"\\nul .txt", false},
        {"\\a\x81", false},  // lead byte cut off
    };
    for (const Case& c : cases) EXPECT_EQ(safe(c.name), c.safe) << '"' << c.name << '"';
}

TEST(PayloadNames, TrailingSeparatorOfUtf8Paths) {
    EXPECT_TRUE(ends_with_separator("C:\\x\\"));
    EXPECT_TRUE(ends_with_separator("/tmp/"));
    EXPECT_TRUE(ends_with_separator("C:\\\xe9\x9c\x81\xe6\xa1\x90\\"));  // C:\霁桐\ .
    EXPECT_FALSE(ends_with_separator("C:\\\xe9\x9c\x81\xe6\xa1\x90"));
    EXPECT_FALSE(ends_with_separator("C:\\x"));
    EXPECT_FALSE(ends_with_separator(""));
}
