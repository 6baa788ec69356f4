// The installed path on Windows: the stored code page 936 bytes, '\' separators.
#include "support/test_support.h"

std::string installed_path(const std::string& dir, const std::string&, const std::string& on_windows) {
    return dir + on_windows;
}
