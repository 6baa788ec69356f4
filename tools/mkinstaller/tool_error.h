// The one error type of the tool's commands: the exit status the command ends with, and each file at fault with why.
#pragma once
#include <stdexcept>
#include <string>
#include <vector>

#include "exit_codes.h"

// One thing wrong: the file as the user should see it named (the platform's display encoding; empty when the
// reason names its own place first), and what is wrong with it.
struct ToolProblem {
    std::string file;
    std::string reason;
};

// Thrown by every step of a command that cannot go on; the command's entry point reports it (report_tool_error)
// and returns its exit code. what() is the first problem's reason.
class ToolError : public std::runtime_error {
public:
    // A refusal of pack, or a failed extraction: MKI_FAILED.
    ToolError(std::string file, const std::string& reason) : ToolError(MKI_FAILED, std::move(file), reason) {}
    // exit_code is one of exit_codes.h.
    ToolError(int exit_code, std::string file, const std::string& reason)
        : ToolError(exit_code, std::vector<ToolProblem>{{std::move(file), reason}}) {}
    // Several problems found in one pass (pack's stub and tree), reported together; problems is not empty.
    ToolError(int exit_code, std::vector<ToolProblem> problems)
        : std::runtime_error(problems.front().reason), exit_code_(exit_code), problems_(std::move(problems)) {}

    int exit_code() const { return exit_code_; }
    const std::vector<ToolProblem>& problems() const { return problems_; }

private:
    int exit_code_;
    std::vector<ToolProblem> problems_;
};

// Writes what stdout holds, then each problem on stderr, one a line: "mkinstaller: FILE: reason", or
// "mkinstaller: reason" without a file. Returns the error's exit code.
int report_tool_error(const ToolError& error);
