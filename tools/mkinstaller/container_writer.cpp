// Record stream and installer layout writer.
#include "container_writer.h"

#include "payload/payload.h"
#include "payload/tail.h"

namespace {

void append_be32(std::vector<uint8_t>* v, uint32_t x) {
    unsigned char bytes[4];
    write_be32(bytes, x);
    v->insert(v->end(), bytes, bytes + sizeof bytes);
}

}  // namespace

void RecordStreamWriter::add_name(uint8_t type, const std::string& name) {
    bytes_.push_back(type);
    bytes_.push_back(uint8_t(name.size() >> 8));
    bytes_.push_back(uint8_t(name.size()));
    bytes_.insert(bytes_.end(), name.begin(), name.end());
}

void RecordStreamWriter::add_dir(const std::string& name) { add_name(RECORD_DIR, name); }

void RecordStreamWriter::add_file(const std::string& name, const uint8_t* data, size_t size) {
    add_name(RECORD_FILE, name);
    append_be32(&bytes_, uint32_t(size));
    bytes_.insert(bytes_.end(), data, data + size);
}

std::vector<uint8_t> RecordStreamWriter::finish() {
    bytes_.push_back(RECORD_END);
    std::vector<uint8_t> out;
    out.swap(bytes_);
    return out;
}

std::vector<uint8_t> payload_tail(uint32_t first_block, const std::vector<uint32_t>& block_sizes,
                                  uint32_t total_unpacked, uint8_t flags, const std::vector<uint32_t>& checksums) {
    std::vector<uint8_t> out;
    uint32_t dir_offset = first_block;
    for (uint32_t size : block_sizes) dir_offset += size;
    append_be32(&out, first_block);
    append_be32(&out, uint32_t(block_sizes.size()));
    for (uint32_t size : block_sizes) append_be32(&out, size);
    for (uint32_t crc : checksums) append_be32(&out, crc);
    append_be32(&out, dir_offset);
    append_be32(&out, total_unpacked);
    out.push_back(flags);
    return out;
}

std::vector<uint8_t> build_installer(const std::vector<uint8_t>& stub, const std::vector<std::vector<uint8_t>>& blocks,
                                     uint32_t total_unpacked, uint8_t flags) {
    std::vector<uint8_t> out(stub);
    std::vector<uint32_t> sizes, checksums;
    for (const auto& b : blocks) {
        out.insert(out.end(), b.begin(), b.end());
        sizes.push_back(uint32_t(b.size()));
        if (flags & PAYLOAD_FLAG_CHECKSUMS) checksums.push_back(block_checksum(b.data(), int32_t(b.size())));
    }
    const std::vector<uint8_t> tail = payload_tail(uint32_t(stub.size()), sizes, total_unpacked, flags, checksums);
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}
