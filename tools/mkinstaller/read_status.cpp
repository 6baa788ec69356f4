// Formats the reader's reasons for the tool's messages.
#include "read_status.h"

std::string read_status_message(const ReadStatus& status) {
    const std::string text = read_result_text(status.result);
    return status.block >= 0 ? "block " + std::to_string(status.block) + ": " + text : text;
}
