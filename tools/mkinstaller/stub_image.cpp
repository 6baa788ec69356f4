// Checks the stub: a Windows program, not an installer already, and able to read what pack will write.
#include "stub_image.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "host.h"
#include "input_file.h"
#include "tool_error.h"
#include "payload/pe_cert.h"
#include "product/reader_mark.h"
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
               "\"PE\\0\\0\" inside its " +
               std::to_string(image.size()) + " bytes";
    return "";
}

std::vector<uint8_t> read_all(FILE* file, const std::string& shown) {
    std::vector<uint8_t> image;
    unsigned char chunk[1 << 16];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) image.insert(image.end(), chunk, chunk + got);
    if (ferror(file)) throw ToolError(shown, "cannot be read: " + system_reason());
    return image;
}

}  // namespace

int reader_revision(const uint8_t* image, size_t size) {
    static const char prefix[] = PAYLOAD_READER_MARK_PREFIX;
    const char* const prefix_end = prefix + sizeof prefix - 1;
    const uint8_t* const end = image + size;
    int best = 0;
    for (const uint8_t* at = std::search(image, end, prefix, prefix_end); at != end;
         at = std::search(at + 1, end, prefix, prefix_end)) {
        // The revision's digits, then the colon that ends them.
        int revision = 0;
        const uint8_t* p = at + (sizeof prefix - 1);
        const uint8_t* const digits = p;
        while (p != end && *p >= '0' && *p <= '9' && revision < 100000) revision = revision * 10 + (*p++ - '0');
        if (p != digits && p != end && *p == ':') best = std::max(best, revision);
    }
    return best;
}

int reader_revision(const std::vector<uint8_t>& image) { return reader_revision(image.data(), image.size()); }

std::vector<uint8_t> read_stub_image(const std::filesystem::path& stub, bool stored, ProgramImage* program) {
    const std::string shown = path_for_display(stub);
    const InputFile file = open_input(stub);
    const std::vector<uint8_t> image = read_all(file.get(), shown);

    const std::string not_program = not_a_program(image);
    if (!not_program.empty()) throw ToolError(shown, not_program);
    PayloadTail tail;
    PayloadBlock** blocks = nullptr;
    if (open_payload(file.get(), &tail, &blocks).result == ReadResult::ok) {
        free_payload(blocks, tail.count);
        const int32_t image_size = tail_has_manifest(&tail) ? tail_manifest_offset(&tail) : tail.first_block;
        throw ToolError(shown, "already an installer: pass its program image (its first " + std::to_string(image_size) +
                                   " bytes; a payload of " + std::to_string(tail.count) +
                                   (tail.count == 1 ? " block" : " blocks") + " follows them)");
    }
    const std::string malformed = program_image_problem(image.data(), image.size(), program);
    if (!malformed.empty()) throw ToolError(shown, "not a well-formed Windows program: " + malformed);
    if (stored && reader_revision(image) < PAYLOAD_READER_STORED)
        throw ToolError(shown,
                        "a program image from an older build that cannot read stored blocks (it lacks "
                        "the reader mark); rebuild it, or pack with --no-stored");
    return image;
}
