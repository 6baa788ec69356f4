// Checks the stub: a Windows program, not an installer already, and able to read what pack will write.
#include "stub_image.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "host.h"
#include "input_file.h"
#include "pack_error.h"
#include "payload/pe_cert.h"
#include "payload/reader_mark.h"
#include "payload/tail.h"

namespace {

std::string hex_start(const std::vector<uint8_t>& image) {
    std::string text;
    for (size_t i = 0; i < image.size() && i < 4; ++i) {
        char byte[4];
        snprintf(byte, sizeof byte, "%s%02X", i ? " " : "", image[i]);
        text += byte;
    }
    return text;
}

// Empty when the image is a Windows program; otherwise what was found instead.
std::string not_a_program(const std::vector<uint8_t>& image) {
    if (image.empty()) return "not a Windows program: the file is empty";
    if (image.size() < 2 || image[0] != 'M' || image[1] != 'Z')
        return "not a Windows program: it begins with " + hex_start(image) + ", where a program begins with \"MZ\"";
    if (!pe_has_signature(image.data(), image.size()))
        return "not a Windows program: it begins with \"MZ\", but its header pointer at 0x3C leads to no "
               "\"PE\\0\\0\" inside its " + std::to_string(image.size()) + " bytes";
    return "";
}

bool holds_reader_mark(const std::vector<uint8_t>& image) {
    static const char mark[] = PAYLOAD_READER_MARK;
    return std::search(image.begin(), image.end(), mark, mark + sizeof mark - 1) != image.end();
}

std::vector<uint8_t> read_all(FILE* file, const std::string& shown) {
    std::vector<uint8_t> image;
    unsigned char chunk[1 << 16];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) image.insert(image.end(), chunk, chunk + got);
    if (ferror(file)) throw PackError(shown, "cannot be read: " + system_reason());
    return image;
}

}  // namespace

std::vector<uint8_t> read_stub_image(const std::filesystem::path& stub, bool stored, ProgramImage* program) {
    const std::string shown = path_for_display(stub);
    const InputFile file = open_input(stub);
    const std::vector<uint8_t> image = read_all(file.get(), shown);

    const std::string not_program = not_a_program(image);
    if (!not_program.empty()) throw PackError(shown, not_program);
    PayloadTail tail;
    PayloadBlock** blocks = nullptr;
    if (open_payload(file.get(), &tail, &blocks).result == READ_OK) {
        free_payload(blocks, tail.count);
        throw PackError(shown, "already an installer: pass its program image (its first " +
                                   std::to_string(tail.first_block) + " bytes; a payload of " +
                                   std::to_string(tail.count) + (tail.count == 1 ? " block" : " blocks") +
                                   " follows them)");
    }
    const std::string malformed = program_image_problem(image.data(), image.size(), program);
    if (!malformed.empty()) throw PackError(shown, "not a well-formed Windows program: " + malformed);
    if (stored && !holds_reader_mark(image))
        throw PackError(shown, "a program image from an older build that cannot read stored blocks (it lacks "
                               "the reader mark); rebuild it, or pack with --no-stored");
    return image;
}
