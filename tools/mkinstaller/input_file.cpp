// Opens and reads pack's inputs, saying which file failed and why.
#include "input_file.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#include "host.h"
#include "tool_error.h"

namespace fs = std::filesystem;

std::string not_regular(const fs::path& path) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec || !fs::exists(status) || fs::is_regular_file(status)) return "";
    if (fs::is_directory(status)) return "is a directory";
    if (fs::is_fifo(status)) return "is a FIFO (named pipe)";
    if (fs::is_block_file(status) || fs::is_character_file(status)) return "is a device";
    if (fs::is_socket(status)) return "is a socket";
    return "is not a regular file";
}

InputFile open_input(const std::filesystem::path& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        throw ToolError(path_for_display(path),
                        "cannot be read: " + std::make_error_code(std::errc::is_a_directory).message());
    const std::string special = not_regular(path);
    if (!special.empty()) throw ToolError(path_for_display(path), special + "; pack reads only regular files");
    InputFile file(open_path(path, "rb"), fclose);
    if (!file) throw ToolError(path_for_display(path), "cannot be opened: " + system_reason());
    return file;
}

bool read_input_at(FILE* file, const std::filesystem::path& path, uint64_t offset, void* out, size_t size) {
    if (fseek(file, long(offset), SEEK_SET) != 0)
        throw ToolError(path_for_display(path), "cannot be read: " + system_reason());
    const size_t got = fread(out, 1, size, file);
    if (got != size && ferror(file)) throw ToolError(path_for_display(path), "cannot be read: " + system_reason());
    return got == size;
}

std::string system_reason() { return strerror(errno); }
