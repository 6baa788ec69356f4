// mkinstaller: builds, lists, verifies and extracts installers.
#include <string>
#include <vector>

#include "cli.h"

int main(int argc, char** argv) { return run_mkinstaller(std::vector<std::string>(argv + 1, argv + argc)); }
