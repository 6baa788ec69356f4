// Record stream and installer layout writer.
#include "container_writer.h"

#include <algorithm>

#include "payload/checksum.h"
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

void RecordStreamWriter::add_piece(const std::string& name, uint32_t whole_size, uint32_t offset, const uint8_t* data,
                                   size_t size) {
    add_name(RECORD_PIECE, name);
    append_be32(&bytes_, whole_size);
    append_be32(&bytes_, offset);
    append_be32(&bytes_, uint32_t(size));
    bytes_.insert(bytes_.end(), data, data + size);
}

std::vector<uint8_t> RecordStreamWriter::finish() {
    bytes_.push_back(RECORD_END);
    std::vector<uint8_t> out;
    out.swap(bytes_);
    return out;
}

void ManifestWriter::add_dir(const std::string& name) {
    // Each block repeats the directories its first entry lies in; the manifest lists a directory once.
    if (std::find(dirs_.begin(), dirs_.end(), name) != dirs_.end()) return;
    dirs_.push_back(name);
    bytes_.push_back(RECORD_DIR);
    bytes_.push_back(uint8_t(name.size() >> 8));
    bytes_.push_back(uint8_t(name.size()));
    bytes_.insert(bytes_.end(), name.begin(), name.end());
}

void ManifestWriter::add_file(const std::string& name, uint32_t size) {
    bytes_.push_back(RECORD_FILE);
    bytes_.push_back(uint8_t(name.size() >> 8));
    bytes_.push_back(uint8_t(name.size()));
    bytes_.insert(bytes_.end(), name.begin(), name.end());
    append_be32(&bytes_, size);
}

std::vector<uint8_t> ManifestWriter::finish() {
    bytes_.push_back(RECORD_END);
    std::vector<uint8_t> out;
    out.swap(bytes_);
    dirs_.clear();
    return out;
}

std::vector<uint8_t> payload_tail(uint32_t first_block, const std::vector<uint32_t>& block_sizes,
                                  uint32_t total_unpacked, uint8_t flags, const std::vector<uint32_t>& checksums,
                                  const std::vector<uint8_t>& manifest) {
    std::vector<uint8_t> out;
    uint32_t dir_offset = first_block;
    for (uint32_t size : block_sizes) dir_offset += size;
    append_be32(&out, first_block);
    append_be32(&out, uint32_t(block_sizes.size()));
    for (uint32_t size : block_sizes) append_be32(&out, size);
    for (uint32_t crc : checksums) append_be32(&out, crc);
    if (!manifest.empty()) {
        append_be32(&out, first_block - uint32_t(manifest.size()));
        append_be32(&out, uint32_t(manifest.size()));
        append_be32(&out, block_checksum(manifest.data(), int32_t(manifest.size())));
    }
    append_be32(&out, dir_offset);
    append_be32(&out, total_unpacked);
    out.push_back(flags);
    return out;
}

std::vector<uint8_t> build_installer(const std::vector<uint8_t>& stub, const std::vector<std::vector<uint8_t>>& blocks,
                                     uint32_t total_unpacked, uint8_t flags, const std::vector<uint8_t>& manifest) {
    std::vector<uint8_t> out(stub);
    out.insert(out.end(), manifest.begin(), manifest.end());
    if (!manifest.empty()) flags |= PAYLOAD_FLAG_MANIFEST;
    std::vector<uint32_t> sizes, checksums;
    for (const auto& b : blocks) {
        out.insert(out.end(), b.begin(), b.end());
        sizes.push_back(uint32_t(b.size()));
        if (flags & PAYLOAD_FLAG_CHECKSUMS) checksums.push_back(block_checksum(b.data(), int32_t(b.size())));
    }
    const std::vector<uint8_t> tail =
        payload_tail(uint32_t(stub.size() + manifest.size()), sizes, total_unpacked, flags, checksums, manifest);
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}
