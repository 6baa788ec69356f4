// Files on Linux: nothing holds a file against writing, so creating one is fopen "wb".
#include "platform/file.h"

FILE* os_create_file(const char* path) { return fopen(path, "wb"); }
