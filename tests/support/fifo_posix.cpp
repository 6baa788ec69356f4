// Named pipes for the tests that make sure nothing replaces one: mkfifo.
#include <sys/stat.h>

#include "support/test_support.h"

bool make_fifo(const std::string& path) { return mkfifo(path.c_str(), 0600) == 0; }

bool is_fifo(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
}
