// Writes the fuzz targets' seed corpora: installers packed by mkinstaller from small trees (some signed
// the way Authenticode signs, some without checksums, LZMA and stored blocks), their blocks, and their record
// streams.
//
//   make_seeds OUT_DIR      writes OUT_DIR/container, OUT_DIR/decode and OUT_DIR/extract
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "cli.h"
#include "payload/decode.h"
#include "payload/payload.h"
#include "product/reader_mark.h"
#include "signed_image.h"
#include "support/tree_io.h"

namespace fs = std::filesystem;

namespace {

// A minimal PE image: pack requires the programs to be Windows programs.
std::string program_image() {
    const std::vector<uint8_t> image = minimal_pe(512);
    return std::string(image.begin(), image.end());
}

// The product with both programs; TINY has none and is packed with --allow-missing-programs.
const Tree PRODUCT = {
    {u8"霁桐收银端.exe", program_image()},
    {u8"霁桐餐饮服务.exe", program_image()},
    {"readme.txt", "POS readme\r\n"},
    {"empty.txt", ""},
    {u8"data/菜单/1.csv", u8"编号,名称\r\n1,米饭\r\n"},
    {u8"乗/嘰.txt", "trail byte 0x5C"},
    {"logs/", ""},
    {"a/b/c/d/e.txt", "five levels"},
};
const Tree TINY = {{"a/b.txt", "abc"}};

struct Variant {
    const char* name;
    const Tree* tree;
    std::vector<std::string> options;
    bool sign;
    bool older_image = false;  // behind an image that reads stored blocks but no manifest
};

void write_bytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out) {
        fprintf(stderr, "make_seeds: cannot write %s\n", path.c_str());
        exit(1);
    }
}

// A minimal PE image that carries a reader mark after its headers: today's (stored blocks and the manifest), or
// the older one that reads stored blocks only.
std::vector<uint8_t> stub_image(bool older) {
    std::vector<uint8_t> image = minimal_pe(512);
    const std::string mark = older ? PAYLOAD_READER_MARK_PREFIX "1: lzma stored" : PAYLOAD_READER_MARK;
    std::copy(mark.begin(), mark.end(), image.end() - 64);
    return image;
}

std::vector<uint8_t> read_bytes_of(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: make_seeds OUT_DIR\n");
        return 64;
    }
    const fs::path out = argv[1];
    const fs::path work = fs::temp_directory_path() / ("make-seeds-" + std::to_string(getpid()));
    for (const char* target : {"container", "decode", "extract"}) fs::create_directories(out / target);
    fs::create_directories(work);
    write_bytes(work / "stub.exe", stub_image(false));
    write_bytes(work / "older-stub.exe", stub_image(true));

    std::set<std::vector<uint8_t>> written;  // blocks and streams that several variants share, once
    auto seed = [&](const char* target, const std::string& name, const std::vector<uint8_t>& bytes) {
        if (written.insert(bytes).second) write_bytes(out / target / name, bytes);
    };
    const Variant variants[] = {
        {"product", &PRODUCT, {}, false},
        {"product-no-checksums-flags3", &PRODUCT, {"--no-checksums", "--flags", "3"}, false},
        {"product-small-blocks", &PRODUCT, {"--block-size", "120"}, false},
        {"product-signed", &PRODUCT, {}, true},
        {"tiny-end-marker", &TINY, {"--end-marker", "--no-stored", "--allow-missing-programs"}, false},
        {"tiny-stored", &TINY, {"--allow-missing-programs"}, false},  // too small for LZMA to shrink: stored
        {"tiny-signed-no-checksums", &TINY, {"--no-checksums", "--allow-missing-programs"}, true},
        {"product-without-manifest", &PRODUCT, {}, false, true},
    };
    for (const Variant& v : variants) {
        const fs::path src = work / v.name;
        write_tree(src, *v.tree);
        const fs::path installer = work / (std::string(v.name) + ".exe");
        const fs::path stub = work / (v.older_image ? "older-stub.exe" : "stub.exe");
        std::vector<std::string> args = {"pack", "--stub", stub.string(), "--out", installer.string()};
        args.insert(args.end(), v.options.begin(), v.options.end());
        args.push_back(src.string());
        if (run_mkinstaller(args) != 0) return 1;

        std::vector<uint8_t> bytes = read_bytes_of(installer);
        if (v.sign) append_signature(&bytes, (8 - bytes.size() % 8) % 8, 64);
        write_bytes(out / "container" / (std::string(v.name) + ".exe"), bytes);
        if (v.sign) continue;  // the same blocks as the unsigned variant

        int32_t count = 0;
        uint32_t total = 0;
        int flags = 0;
        PayloadBlock** blocks = read_payload_file(installer.string().c_str(), &count, &total, &flags);
        if (!blocks) return 1;
        for (int32_t i = 0; i < count; ++i) {
            const std::string name = std::string(v.name) + "-" + std::to_string(i);
            std::vector<uint8_t> bytes(size_t(blocks[i]->size));
            if (!read_block_bytes(blocks[i], 0, bytes.data(), blocks[i]->size)) return 1;
            const unsigned char* data = bytes.data();
            seed("decode", name, bytes);
            unsigned char* stream = decode_block(data, blocks[i]->size, nullptr);
            if (!stream) return 1;
            seed("extract", name, std::vector<uint8_t>(stream, stream + block_unpacked_size(data)));
            free(stream);
        }
        free_payload(blocks, count);
    }
    fs::remove_all(work);
    return 0;
}
