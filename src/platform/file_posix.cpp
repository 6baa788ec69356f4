// File opening for Linux: fopen, the path's bytes as they are.
#include "platform/file.h"

FILE* os_open_file(const char* path) { return fopen(path, "rb"); }

FILE* os_create_file(const char* path) { return fopen(path, "wb"); }
