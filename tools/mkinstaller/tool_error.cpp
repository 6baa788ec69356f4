// Reports the tool's errors on stderr.
#include "tool_error.h"

#include "host.h"

int report_tool_error(const ToolError& error) {
    fflush(stdout);
    for (const ToolProblem& p : error.problems())
        tool_print(stderr, "mkinstaller: %s%s%s\n", p.file.c_str(), p.file.empty() ? "" : ": ", p.reason.c_str());
    return error.exit_code();
}
