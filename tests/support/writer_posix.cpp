// Whether a file could be opened for writing now: Linux locks no file against writers.
#include <cstdio>

#include "support/test_support.h"

const bool SYSTEM_HOLDS_FILES_AGAINST_WRITERS = false;

bool may_open_for_writing(const std::string& path) {
    FILE* file = fopen(path.c_str(), "r+b");
    if (file) fclose(file);
    return file != nullptr;
}
