// The list and verify commands: one walk over the payload, printing or only checking.
#include "inspect.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <algorithm>

#include "container_writer.h"
#include "exit_codes.h"
#include "host.h"
#include "input_file.h"
#include "name_key.h"
#include "payload/decode.h"
#include "payload/extract.h"
#include "payload/manifest.h"
#include "payload/payload.h"
#include "payload/pe_cert.h"
#include "product/reader_mark.h"
#include "payload/records.h"
#include "payload/tail.h"
#include "program_image.h"
#include "read_status.h"
#include "stub_image.h"
#include "tool_error.h"

namespace {

// A fault of the installer under inspection: the command ends with MKI_DAMAGED, and inspect_installer names the
// installer in front of the reason.
ToolError damaged(const std::string& reason) { return ToolError(MKI_DAMAGED, "", reason); }

// Longest stored name the verifier accepts: joined to the shortest install directory, a drive's root ("C:\\"),
// it still fits the engine's PATH_LIMIT bytes. Pack's limits in UTF-16 units (install_path_limits.h) are stricter.
constexpr size_t STORED_NAME_LIMIT = PATH_LIMIT - (sizeof "C:\\" - 1);
static_assert(STORED_NAME_LIMIT == 1020, "the engine's limit less a drive's root");

// A block's header, read from where the block lies; whole is false when the block is shorter than one (or it
// cannot be read).
struct BlockHead {
    bool whole = false;
    unsigned char bytes[BLOCK_HEADER_SIZE] = {};
};

std::vector<BlockHead> read_heads(PayloadBlock* const* blocks, int32_t count) {
    std::vector<BlockHead> heads(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i)
        heads[size_t(i)].whole = blocks[i]->size >= BLOCK_HEADER_SIZE &&
                                 read_block_bytes(blocks[i], 0, heads[size_t(i)].bytes, BLOCK_HEADER_SIZE);
    return heads;
}

using Buffer = std::unique_ptr<unsigned char, decltype(&free)>;

// Block index's record stream: an LZMA block decoded from where it lies through a window of DECODE_STEP bytes, a
// stored block's body read; so only one block's unpacked bytes are in memory at a time, whatever the installer's
// size. Throws damaged() when it does not decode (a stored block whose body is not its unpacked size is refused
// before, by check_stored_block).
Buffer unpack_block(int32_t index, const PayloadBlock& block, const BlockHead& head) {
    const ToolError broken = damaged("block " + std::to_string(index) + ": does not decode (damaged data)");
    if (!head.whole) throw broken;
    const uint32_t unpacked = block_unpacked_size(head.bytes);
    if (unpacked > uint32_t(INT32_MAX)) throw broken;
    const ToolError no_memory = damaged("block " + std::to_string(index) + ": not enough memory for its " +
                                        std::to_string(unpacked) + " unpacked bytes");
    Buffer out(alloc_block_buffer(unpacked), free);
    if (!out) throw no_memory;
    if (block_properties(head.bytes) == BLOCK_PROPS_STORED) {
        if (!read_block_bytes(&block, BLOCK_HEADER_SIZE, out.get(), int32_t(unpacked))) throw broken;
        return out;
    }
    Buffer window(static_cast<unsigned char*>(malloc(DECODE_STEP)), free);
    if (!window) throw no_memory;
    if (!decode_block_into(&block, out.get(), window.get(), nullptr, nullptr)) throw broken;
    return out;
}

void print_layout(const PayloadTail& tail, PayloadBlock* const* blocks, const std::vector<BlockHead>& heads,
                  int32_t file_size) {
    if (tail_has_manifest(&tail))
        tool_print(stdout, "manifest at %d: %d bytes, crc32 %08X\n", tail_manifest_offset(&tail),
                   tail_manifest_length(&tail), unsigned(tail_manifest_checksum(&tail)));
    else tool_print(stdout, "manifest: none\n");
    tool_print(stdout, "directory at %d: first block at %d, %d blocks\n", tail.dir_offset, tail.first_block,
               tail.count);
    const bool checksums = tail_has_checksums(&tail);
    int64_t offset = tail.first_block;
    for (int32_t i = 0; i < tail.count; ++i) {
        const unsigned char* h = heads[size_t(i)].bytes;
        const bool whole = heads[size_t(i)].whole;
        const int props = whole ? block_properties(h) : -1;
        tool_print(stdout, "  block %d at %lld: stored %d, unpacked %u, properties %d ", i, (long long)offset,
                   blocks[i]->size, whole ? block_unpacked_size(h) : 0, props);
        if (props == BLOCK_PROPS_STORED) tool_print(stdout, "(stored)");
        else tool_print(stdout, "(lc %d lp %d pb %d)", props % 9, props / 9 % 5, props / 45);
        tool_print(stdout, ", dictionary %u", whole ? block_dictionary_size(h) : 0);
        if (checksums) tool_print(stdout, ", crc32 %08X", unsigned(tail_checksum(&tail, i)));
        tool_print(stdout, "\n");
        offset += blocks[i]->size;
    }
    if (checksums) tool_print(stdout, "checksums: a CRC-32 for each block at %d\n", tail_checksum_offset(&tail));
    else tool_print(stdout, "checksums: none\n");
    tool_print(stdout, "trailer: directory at %d, total unpacked %u, flags %d\n", tail.dir_offset, tail.total_unpacked,
               tail.flags);
    // A certificate table is longer than the padding a removed one leaves behind.
    if (tail.end != file_size && file_size - tail.end <= MAX_CERT_PADDING)
        tool_print(stdout, "padding: the payload ends at %d; %d zero bytes follow, left by a removed signature\n",
                   tail.end, file_size - tail.end);
    else if (tail.end != file_size)
        tool_print(stdout,
                   "signature: the payload ends at %d; the certificate table and its padding take the last %d bytes\n",
                   tail.end, file_size - tail.end);
}

struct Counts {
    size_t dirs = 0, files = 0;
};

// A file spanning blocks whose last piece is still to come.
struct OpenPieces {
    bool open = false;
    std::string name;
    uint32_t whole = 0, next = 0;
    int32_t opened_in = -1;  // the block whose last piece left the file unfinished
};

bool block_has_piece_open(const OpenPieces& pieces, int32_t block) { return pieces.open && pieces.opened_in == block; }

// A piece must continue the file begun (or begin one at offset 0); a file that is not finished takes the rest of
// its block, and its next piece comes first in the next block after the directories that block repeats.
void check_piece(const std::string& where, const Record& r, const std::string& name, OpenPieces* pieces) {
    const std::string shown = cp936_for_display(r.name, r.name_len);
    if (pieces->open && (name != pieces->name || r.whole_size != pieces->whole || r.piece_offset != pieces->next))
        throw damaged(
            where + shown + ": piece at offset " + std::to_string(r.piece_offset) + " does not continue " +
            cp936_for_display(reinterpret_cast<const unsigned char*>(pieces->name.data()), pieces->name.size()) +
            " at offset " + std::to_string(pieces->next));
    if (!pieces->open && r.piece_offset != 0)
        throw damaged(where + shown + ": piece at offset " + std::to_string(r.piece_offset) +
                      " with no piece before it");
    pieces->open = true;
    pieces->name = name;
    pieces->whole = r.whole_size;
    pieces->next = r.piece_offset + uint32_t(r.data_len);
    if (pieces->next == pieces->whole) pieces->open = false;
}

// Walks one decoded stream; throws damaged() with the reason at the first fault.
void walk_block(int32_t index, const unsigned char* stream, int32_t length, bool print, Counts* counts,
                ManifestWriter* listed, OpenPieces* pieces) {
    const std::string where = "block " + std::to_string(index) + ": ";
    if (print) tool_print(stdout, "block %d:\n", index);
    std::set<std::string> dirs;  // keys of the directories this block has created so far
    RecordCursor cursor;
    start_records(&cursor, stream, length);
    Record r;
    WalkResult result;
    while (true) {
        const int32_t offset = cursor.pos;
        result = next_record(&cursor, &r);
        if (result != WalkResult::record) {
            if (result != WalkResult::end)
                throw damaged(where + "offset " + std::to_string(offset) + ": " + walk_result_text(result));
            break;
        }
        const std::string shown = cp936_for_display(r.name, r.name_len);
        if (print) {
            if (r.type == RECORD_DIR) tool_print(stdout, "  dir  %12s  %s\n", "", shown.c_str());
            else if (r.type == RECORD_FILE) tool_print(stdout, "  file %12d  %s\n", r.data_len, shown.c_str());
            else
                tool_print(stdout, "  piece %11d  %s (bytes %u to %u of %u)\n", r.data_len, shown.c_str(),
                           unsigned(r.piece_offset), unsigned(r.piece_offset + uint32_t(r.data_len)),
                           unsigned(r.whole_size));
        }
        if (pieces->open && r.type == RECORD_FILE)
            throw damaged(
                where + shown + ": a file between two pieces of " +
                cp936_for_display(reinterpret_cast<const unsigned char*>(pieces->name.data()), pieces->name.size()));
        if (pieces->open && offset > 0 && r.type != RECORD_PIECE && block_has_piece_open(*pieces, index))
            throw damaged(where + shown + ": a record after an unfinished piece in its block");
        // Directories are made one level at a time, so a missing parent makes the installer fail here.
        const size_t parent = parent_len(r.name, r.name_len);
        if (parent > 0 && !dirs.count(name_key(r.name, parent)))
            throw damaged(where + shown + ": its directory is not created earlier in the block");
        if (r.name_len > STORED_NAME_LIMIT)
            throw damaged(where + shown + ": name too long to fit beside any install directory");
        const std::string name(reinterpret_cast<const char*>(r.name), r.name_len);
        if (r.type == RECORD_DIR) {
            dirs.insert(name_key(r.name, r.name_len));
            ++counts->dirs;
            listed->add_dir(name);
        } else if (r.type == RECORD_FILE) {
            ++counts->files;
            listed->add_file(name, uint32_t(r.data_len));
        } else {
            // A file spanning blocks is one file, listed once with its whole size where it begins.
            if (r.piece_offset == 0) {
                ++counts->files;
                listed->add_file(name, r.whole_size);
            }
            check_piece(where, r, name, pieces);
            pieces->opened_in = pieces->open ? index : -1;
        }
    }
    if (print) {
        if (r.type == RECORD_END) tool_print(stdout, "  end\n");
        else tool_print(stdout, "  type %d (ends the stream)\n", r.type);
    }
    if (r.type != RECORD_END)
        throw damaged(where + "stream ends with type " + std::to_string(r.type) + " at offset " +
                      std::to_string(cursor.pos - 1) + " instead of an end record");
    if (cursor.pos != length)
        throw damaged(where + std::to_string(length - cursor.pos) + " bytes after the end record");
}

// The reader copies the first U bytes of a stored body and looks no further; a writer puts exactly those
// and 0 as the dictionary, which no reader uses. Throws damaged() when a stored block breaks that.
void check_stored_block(int32_t index, const PayloadBlock& block, const BlockHead& head) {
    if (!head.whole || block_properties(head.bytes) != BLOCK_PROPS_STORED) return;
    const std::string where = "block " + std::to_string(index) + ": stored block ";
    if (block_dictionary_size(head.bytes) != 0)
        throw damaged(where + "with dictionary field " + std::to_string(block_dictionary_size(head.bytes)) + ", not 0");
    const uint32_t body = uint32_t(block.size - BLOCK_HEADER_SIZE);
    if (body != block_unpacked_size(head.bytes))
        throw damaged(where + "with " + std::to_string(body) + " bytes after its header, not its " + "unpacked size " +
                      std::to_string(block_unpacked_size(head.bytes)));
}

// What verify finds of the program image and the file as a whole.
struct ImageFindings {
    ProgramImage image;
    int32_t size = 0;    // the program image's bytes, before the manifest or block 0
    uint32_t whole = 0;  // the PE checksum the whole file has
};

// Checks the program image in front of the payload and the bytes around the tail, then the whole file's PE
// checksum against the image's CheckSum field (0: not set, nothing to compare). Throws damaged() at the first
// fault.
ImageFindings check_image_and_file(FILE* file, const PayloadTail& tail, const std::vector<BlockHead>& heads,
                                   long file_size) {
    // Everything before block 0: the program image, then the manifest when there is one.
    std::vector<uint8_t> front(size_t(tail.first_block));
    if (fseek(file, 0, SEEK_SET) != 0 || fread(front.data(), 1, front.size(), file) != front.size())
        throw damaged("the program image cannot be read: " + system_reason());
    const size_t image_size = tail_has_manifest(&tail) ? size_t(tail_manifest_offset(&tail)) : front.size();
    ImageFindings found;
    found.size = int32_t(image_size);
    const std::string malformed = program_image_problem(front.data(), image_size, &found.image);
    if (!malformed.empty()) throw damaged(malformed + "; the installer would not run");
    const bool marked = reader_revision(front.data(), image_size) >= PAYLOAD_READER_STORED;
    for (int32_t i = 0; i < tail.count && !marked; ++i)
        if (heads[size_t(i)].whole && block_properties(heads[size_t(i)].bytes) == BLOCK_PROPS_STORED)
            throw damaged("block " + std::to_string(i) + " is stored, but the program image lacks the " +
                          "reader mark (\"" PAYLOAD_READER_MARK_PREFIX "\" and a revision): the installer " +
                          "would refuse it as damaged");
    // A writer puts the trailer right after the directory, the table and the manifest's locator; bytes between
    // them go unread.
    const int64_t table = tail_has_checksums(&tail) ? 4 * int64_t(tail.count) : 0;
    const int64_t locator = tail_has_manifest(&tail) ? MANIFEST_LOCATOR_SIZE : 0;
    const int64_t gap = int64_t(tail.size) - 8 - 4 * int64_t(tail.count) - table - locator - PAYLOAD_TRAILER_SIZE;
    if (gap > 0 && !tail_has_checksums(&tail) && gap == 4 * int64_t(tail.count))
        throw damaged("flags " + std::to_string(tail.flags) + ": bit 7 is clear, so the checksum table " + "of " +
                      std::to_string(gap) + " bytes after the directory is ignored and no block's " +
                      "CRC-32 is checked");
    if (gap > 0)
        throw damaged(std::to_string(gap) + " bytes between the directory and the trailer, which no " +
                      "reader reads and no writer writes");
    PeChecksum whole(found.image.checksum_at);
    whole.add(front.data(), front.size());
    std::vector<uint8_t> chunk(1 << 16);
    for (long at = long(front.size()); at < file_size;) {
        const size_t want = size_t(std::min<long>(long(chunk.size()), file_size - at));
        if (fread(chunk.data(), 1, want, file) != want) throw damaged("cannot be read: " + system_reason());
        whole.add(chunk.data(), want);
        at += long(want);
    }
    found.whole = whole.value();
    if (found.image.checksum != 0 && found.image.checksum != found.whole) {
        char text[160];
        snprintf(text, sizeof text,
                 "the PE checksum field says %08X, the whole file sums to %08X: ", unsigned(found.image.checksum),
                 unsigned(found.whole));
        throw damaged(text + std::string("some byte changed since it was written (or an mkinstaller "
                                         "older than this one packed it, keeping the stub's checksum)"));
    }
    return found;
}

void print_image(const ImageFindings& found) {
    tool_print(stdout, "program image: %s, %d sections, %d bytes; ", found.image.plus ? "PE32+" : "PE32",
               found.image.sections, found.size);
    if (found.image.checksum)
        tool_print(stdout, "PE checksum %08X, the whole file's\n", unsigned(found.image.checksum));
    else tool_print(stdout, "PE checksum 0 (not set: the file is not checked as a whole)\n");
}

}  // namespace

int inspect_installer(const std::filesystem::path& installer, bool print) {
    const std::string path = path_for_display(installer);
    // The installer's own reader, which says why when it refuses.
    // Not opened at all when it is no regular file: a FIFO would wait for a writer, a device never end.
    const std::string special = not_regular(installer);
    if (!special.empty())
        return report_tool_error(ToolError(MKI_DAMAGED, path, special + "; an installer is a regular file"));
    FILE* file = open_path(installer, "rb");
    if (!file)
        return report_tool_error(ToolError(
            MKI_DAMAGED, path, std::string(read_result_text(ReadResult::cannot_open)) + ": " + system_reason()));
    PayloadTail tail;
    PayloadBlock** blocks = nullptr;
    Manifest manifest{};
    const ReadStatus read = open_payload(file, &tail, &blocks, &manifest);
    const long file_size = fseek(file, 0, SEEK_END) == 0 ? ftell(file) : -1;
    if (read.result != ReadResult::ok) {
        fclose(file);
        return report_tool_error(ToolError(MKI_DAMAGED, path, read_status_message(read)));
    }
    const int32_t count = tail.count;
    const std::vector<BlockHead> heads = read_heads(blocks, count);
    if (print) print_layout(tail, blocks, heads, int32_t(file_size));

    ImageFindings found;
    Counts counts;
    ManifestWriter listed;
    OpenPieces pieces;
    uint64_t sum = 0;
    int64_t end = tail.first_block;
    try {
        for (int32_t i = 0; i < count; ++i) end += blocks[i]->size;
        if (end != tail.dir_offset)
            throw damaged("blocks end at " + std::to_string(end) + ", not at the directory (" +
                          std::to_string(tail.dir_offset) + ")");
        for (int32_t i = 0; i < count; ++i) {
            check_stored_block(i, *blocks[i], heads[size_t(i)]);
            const Buffer stream = unpack_block(i, *blocks[i], heads[size_t(i)]);
            const int32_t length = int32_t(block_unpacked_size(heads[size_t(i)].bytes));
            sum += uint32_t(length);
            walk_block(i, stream.get(), length, print, &counts, &listed, &pieces);
        }
        if (pieces.open)
            throw damaged(
                cp936_for_display(reinterpret_cast<const unsigned char*>(pieces.name.data()), pieces.name.size()) +
                ": a file spanning blocks ends at byte " + std::to_string(pieces.next) + " of " +
                std::to_string(pieces.whole));
        // The installer checks room, paths and held files by the manifest: it must list what the blocks hold.
        const std::vector<uint8_t> expected = listed.finish();
        if (manifest.length > 0 && std::vector<uint8_t>(manifest.bytes, manifest.bytes + manifest.length) != expected)
            throw damaged(
                "the manifest does not list the directories and files the blocks hold, in "
                "their order");
        if (sum != tail.total_unpacked)
            throw damaged("blocks unpack to " + std::to_string(sum) + " bytes, the trailer says " +
                          std::to_string(tail.total_unpacked));
        if (tail.total_unpacked > PAYLOAD_MAX_TOTAL_UNPACKED)
            throw damaged("total unpacked size over " + std::to_string(PAYLOAD_MAX_TOTAL_UNPACKED) + " bytes");
        // The payload's own faults first, named precisely; then the image and the file as a whole.
        found = check_image_and_file(file, tail, heads, file_size);
        if (print) print_image(found);
    } catch (const ToolError& e) {
        fclose(file);
        free_payload(blocks, count);
        free_manifest(&manifest);
        return report_tool_error(ToolError(e.exit_code(), path, e.what()));
    }
    fclose(file);
    free_payload(blocks, count);
    free_manifest(&manifest);
    tool_print(stdout, "%s: ok: %d blocks, %zu directories, %zu files, %u bytes unpacked, flags %d%s\n", path.c_str(),
               count, counts.dirs, counts.files, tail.total_unpacked, tail.flags,
               found.image.checksum ? "" : "; PE checksum 0, so changed bytes outside the blocks go unnoticed");
    return MKI_OK;
}
