// Writes record streams and the installer layout: stub image, blocks, directory, trailer.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Builds one block's record stream. Names are code page 936 bytes beginning with a backslash.
class RecordStreamWriter {
public:
    void add_dir(const std::string& name);
    void add_file(const std::string& name, const uint8_t* data, size_t size);
    void add_file(const std::string& name, const std::vector<uint8_t>& data) {
        add_file(name, data.data(), data.size());
    }
    // A piece of a file spanning blocks: size bytes of data that go at offset in a file of whole_size bytes.
    void add_piece(const std::string& name, uint32_t whole_size, uint32_t offset, const uint8_t* data, size_t size);
    // Appends the end record and returns the stream; the writer is empty afterwards.
    std::vector<uint8_t> finish();
    size_t size() const { return bytes_.size(); }

private:
    void add_name(uint8_t type, const std::string& name);
    std::vector<uint8_t> bytes_;
};

// Builds the manifest: every directory and file of the record streams in their order, a directory once.
class ManifestWriter {
public:
    void add_dir(const std::string& name);
    void add_file(const std::string& name, uint32_t size);
    // Appends the end record and returns the manifest; the writer is empty afterwards.
    std::vector<uint8_t> finish();

private:
    std::vector<uint8_t> bytes_;
    std::vector<std::string> dirs_;
};

// The directory (first-block offset, count, stored sizes), the checksum table when checksums is not empty
// (one CRC-32 per block; flags should then carry PAYLOAD_FLAG_CHECKSUMS), the manifest's locator when manifest
// is not empty (it lies right before first_block; flags should then carry PAYLOAD_FLAG_MANIFEST), and the
// trailer (directory offset, total unpacked size, option flags) that follow blocks of the given sizes stored
// back to back from first_block.
std::vector<uint8_t> payload_tail(uint32_t first_block, const std::vector<uint32_t>& block_sizes,
                                  uint32_t total_unpacked, uint8_t flags, const std::vector<uint32_t>& checksums,
                                  const std::vector<uint8_t>& manifest = {});

// stub + manifest (when not empty) + blocks back to back + directory (first-block offset, count, sizes) + the
// blocks' CRC-32 table when flags has PAYLOAD_FLAG_CHECKSUMS + the manifest's locator when there is one (flags
// gets PAYLOAD_FLAG_MANIFEST) + trailer (directory offset, total unpacked size, option flags).
// All integers big-endian.
std::vector<uint8_t> build_installer(const std::vector<uint8_t>& stub, const std::vector<std::vector<uint8_t>>& blocks,
                                     uint32_t total_unpacked, uint8_t flags, const std::vector<uint8_t>& manifest = {});
