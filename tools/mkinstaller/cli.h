// The command line of mkinstaller: parsing, the help text, and the four commands behind one entry point.
#pragma once
#include <string>
#include <vector>

// Runs one command line (the arguments after the program name) and returns the exit status (exit_codes.h).
// Output and trace go to stdout, errors to stderr as "mkinstaller: <file>: <reason>".
int run_mkinstaller(const std::vector<std::string>& args);

// The text --help prints.
const char* mkinstaller_usage();
