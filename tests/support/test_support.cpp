// Test helpers: scratch directories and files through std::filesystem, fixtures through the real encoder.
#include "support/test_support.h"

#include "payload/payload.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <random>
#include <stdexcept>

#include "block_encoder.h"
#include "container_writer.h"
#include "platform/os.h"

namespace fs = std::filesystem;

char native_separator() { return os_separator(); }

ScratchDir::ScratchDir() {
    static std::atomic<unsigned> serial{0};
    std::random_device rd;
    fs::path base = fs::temp_directory_path() / ("inst-test-" + std::to_string(rd()) + "-" + std::to_string(serial++));
    fs::create_directories(base);
    path_ = base.string() + native_separator();
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    fs::remove_all(fs::path(path_), ec);
}

bool file_exists(const std::string& path) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return false;
    fclose(f);
    return !dir_exists(path);
}

bool dir_exists(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(fs::path(path), ec);
}

std::vector<uint8_t> read_file(const std::string& path) {
    std::vector<uint8_t> out;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return out;
    uint8_t buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
    fclose(f);
    return out;
}

bool write_file_bytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

std::vector<std::string> list_tree(const std::string& dir) {
    std::vector<std::string> out;
    for (auto& e : fs::recursive_directory_iterator(fs::path(dir))) {
        std::string rel = fs::relative(e.path(), fs::path(dir)).generic_string();
        out.push_back(e.is_directory() ? rel + "/" : rel);
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<uint8_t> bytes_of(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

std::vector<uint8_t> stream_of(std::initializer_list<std::pair<std::string, const char*>> records) {
    RecordStreamWriter w;
    for (const auto& r : records) {
        if (r.second) w.add_file(r.first, bytes_of(r.second));
        else w.add_dir(r.first);
    }
    return w.finish();
}

std::vector<uint8_t> random_bytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> out(n);
    for (auto& b : out) b = uint8_t(rng());
    return out;
}

std::vector<uint8_t> encode(const std::vector<uint8_t>& stream, bool end_marker, int lc, int lp, int pb) {
    EncodeOptions options;
    options.level = 5;
    options.end_marker = end_marker;
    options.lc = lc;
    options.lp = lp;
    options.pb = pb;
    std::vector<uint8_t> out;
    std::string error;
    if (!encode_block(stream, options, &out, &error)) throw std::runtime_error(error);
    return out;
}

std::vector<uint8_t> block_bytes(const PayloadBlock* block) {
    std::vector<uint8_t> bytes(size_t(block->size > 0 ? block->size : 0));
    if (!read_block_bytes(block, 0, bytes.data(), block->size)) bytes.clear();
    return bytes;
}
