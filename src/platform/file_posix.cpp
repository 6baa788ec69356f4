// Files on Linux: the path's bytes as they are; nothing holds a file against writing, so creating one is fopen "wb".
#include "platform/file.h"

FILE* os_open_file(const char* path) { return fopen(path, "rb"); }

FILE* os_create_file(const char* path) { return fopen(path, "wb"); }
