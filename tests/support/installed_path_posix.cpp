// The installed path on Linux: the expected UTF-8 form, '/' separators.
#include "support/test_support.h"

std::string installed_path(const std::string& dir, const std::string& on_linux, const std::string&) {
    return dir + on_linux;
}
