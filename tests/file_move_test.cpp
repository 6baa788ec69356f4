// A temporary moved over its file's name while still open: to a new name, over a file or not, and still closed after.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/file.h"
#include "support/test_support.h"

namespace {

const char* result_name(MoveResult r) {
    switch (r) {
    case MoveResult::moved: return "moved";
    case MoveResult::exists: return "exists";
    case MoveResult::refused: return "refused";
    }
    return "?";
}

}  // namespace

TEST(MoveOpenFile, ToANewNameOrOverAFileOnlyWhenAskedTo) {
    struct Case {
        const char* what;
        bool old_file;  // "old" at the name before the move
        bool replace;
        MoveResult result;
        const char* at_name;   // what the name holds after the close
        bool temporary_stays;  // the temporary is still there after the close
    } cases[] = {
        {"a new name", false, false, MoveResult::moved, "new", false},
        {"a new name, replacing allowed", false, true, MoveResult::moved, "new", false},
        {"a file at the name, left alone", true, false, MoveResult::exists, "old", true},
        {"a file at the name, replaced", true, true, MoveResult::moved, "new", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir scratch;
        const std::string temporary = scratch / "~tmp", name = scratch / "file.txt";
        if (c.old_file) {
            ASSERT_TRUE(write_file_bytes(name, bytes_of("old")));
        }
        FILE* file = os_create_temporary(temporary.c_str());
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(fwrite("new", 1, 3, file), 3u);
        ASSERT_EQ(fflush(file), 0);
        EXPECT_STREQ(result_name(os_move_open_file(file, temporary.c_str(), name.c_str(), c.replace)),
                     result_name(c.result));
        EXPECT_EQ(fclose(file), 0);
        EXPECT_EQ(read_file(name), bytes_of(c.at_name));
        EXPECT_EQ(file_exists(temporary), c.temporary_stays);
        if (c.temporary_stays) {
            EXPECT_EQ(read_file(temporary), bytes_of("new"));
        }
    }
}
