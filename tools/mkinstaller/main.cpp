// mkinstaller: builds, lists, verifies and extracts installers.
#include <string>
#include <vector>

#include "cli.h"
#include "host.h"

int main(int argc, char** argv) { return run_mkinstaller(command_line_args(argc, argv)); }
