// The reader's refusal in words, for the tool's messages.
#pragma once
#include <string>

#include "payload/payload.h"

// read_result_text, with "block N: " before it when the reason concerns one block.
std::string read_status_message(const ReadStatus& status);
