// Named pipes for the tests that make sure nothing replaces one: Windows has none in its file system.
#include "support/test_support.h"

bool make_fifo(const std::string&) { return false; }

bool is_fifo(const std::string&) { return false; }
