// Signed installers: the certificate table from the PE headers, the trailer found before it, and the padding
// that a removed signature leaves behind.
#include <gtest/gtest.h>

#include <functional>

#include "container_writer.h"
#include "payload/payload.h"
#include "payload/pe_cert.h"
#include "signed_image.h"
#include "support/test_support.h"

namespace {

bool table_of(const std::vector<uint8_t>& file, uint32_t* offset) {
    const size_t head = file.size() < PE_HEAD_LIMIT ? file.size() : PE_HEAD_LIMIT;
    return pe_certificate_table(file.data(), head, uint32_t(file.size()), offset);
}

struct Loaded {
    PayloadBlock** blocks = nullptr;
    int32_t count = 0;
    uint32_t total = 0;
    int flags = -1;
    ~Loaded() { free_payload(blocks, count); }
};

bool load(const std::vector<uint8_t>& file, Loaded* out) {
    ScratchDir dir;
    const std::string path = dir / "setup.exe";
    EXPECT_TRUE(write_file_bytes(path, file));
    out->blocks = read_payload_file(path.c_str(), &out->count, &out->total, &out->flags);
    return out->blocks != nullptr;
}

// A PE stub with two blocks of opaque bytes (the reader does not decode), with or without checksums.
std::vector<uint8_t> installer(uint8_t flags) {
    return build_installer(minimal_pe(), {std::vector<uint8_t>(30, 1), std::vector<uint8_t>(50, 2)}, 777, flags);
}

}  // namespace

TEST(PeCertificateTable, FoundOnlyInWellFormedHeadersWhenItEndsTheFile) {
    using Edit = std::function<void(std::vector<uint8_t>&)>;
    struct Case {
        const char* what;
        bool plus;
        Edit edit;
        bool found;
    } cases[] = {
        {"PE32", false, [](std::vector<uint8_t>&) {}, true},
        {"PE32+", true, [](std::vector<uint8_t>&) {}, true},
        {"no MZ", false, [](std::vector<uint8_t>& f) { f[1] = 'X'; }, false},
        {"no PE signature", false, [](std::vector<uint8_t>& f) { f[PE_HEADER_AT + 2] = 1; }, false},
        {"unknown optional header magic", false,
         [](std::vector<uint8_t>& f) {
             f[PE_HEADER_AT + 25] = 0x01;
             f[PE_HEADER_AT + 24] = 0x07;
         },
         false},
        {"header pointer past the head", false, [](std::vector<uint8_t>& f) { put_le32(&f, 0x3C, 0xFFFFFFF0); }, false},
        {"header pointer at the head's end", false,
         [](std::vector<uint8_t>& f) { put_le32(&f, 0x3C, uint32_t(PE_HEAD_LIMIT - 4)); }, false},
        {"four data directories", false, [](std::vector<uint8_t>& f) { put_le32(&f, PE_HEADER_AT + 24 + 92, 4); },
         false},
        {"optional header too small for the entry", false, [](std::vector<uint8_t>& f) { f[PE_HEADER_AT + 20] = 128; },
         false},
        {"empty entry", false, [](std::vector<uint8_t>& f) { put_le32(&f, security_entry_at() + 4, 0); }, false},
        {"table ends before the file", false, [](std::vector<uint8_t>& f) { f.push_back(0); }, false},
        {"table past the file", false, [](std::vector<uint8_t>& f) { f.pop_back(); }, false},
        {"size wraps past 4 GiB", false,
         [](std::vector<uint8_t>& f) { put_le32(&f, security_entry_at() + 4, 0xFFFFFFFF); }, false},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> file = minimal_pe(600, c.plus);
        append_signature(&file, 0, 100, c.plus);
        c.edit(file);
        uint32_t offset = 0;
        EXPECT_EQ(table_of(file, &offset), c.found) << c.what;
        if (c.found) {
            EXPECT_EQ(offset, 600u) << c.what;
        }
    }
    // Fewer bytes than the headers need: nothing is read past them.
    std::vector<uint8_t> file = minimal_pe(600);
    append_signature(&file, 0, 100);
    uint32_t offset = 0;
    EXPECT_FALSE(pe_certificate_table(file.data(), PE_HEADER_AT + 30, uint32_t(file.size()), &offset));
    EXPECT_FALSE(pe_certificate_table(file.data(), 0x3C, uint32_t(file.size()), &offset));
}

TEST(SignedInstaller, TrailerIsFoundBeforeTheTableAfterUpToSevenZeros) {
    for (uint8_t flags : {uint8_t(0x00), uint8_t(0x81)}) {
        for (size_t padding = 0; padding <= 8; ++padding) {
            std::vector<uint8_t> file = installer(flags);
            append_signature(&file, padding);
            Loaded l;
            const bool expected = padding <= 7;
            ASSERT_EQ(load(file, &l), expected) << "flags " << int(flags) << ", padding " << padding;
            if (!expected) continue;
            EXPECT_EQ(l.count, 2);
            EXPECT_EQ(l.total, 777u);
            EXPECT_EQ(l.flags, flags);
            EXPECT_EQ(block_bytes(l.blocks[1]), std::vector<uint8_t>(50, 2));
        }
    }
}

TEST(SignedInstaller, RefusedWhenTheSignatureDoesNotLeadToATrailer) {
    using Edit = std::function<void(std::vector<uint8_t>&)>;
    struct Case {
        const char* what;
        uint8_t flags;
        Edit edit;
    } cases[] = {
        {"a non-zero byte in the padding", 0x00,
         [](std::vector<uint8_t>& f) {
             const std::vector<uint8_t> tail(f.end() - 1200, f.end());
             f.resize(f.size() - 1200 - 3);
             f.push_back(1);
             f.insert(f.end(), 2, 0);
             f.insert(f.end(), tail.begin(), tail.end());
         }},
        {"table that does not end the file", 0x00, [](std::vector<uint8_t>& f) { f.push_back(0); }},
        {"no PE image in front", 0x00, [](std::vector<uint8_t>& f) { f[0] = 'X'; }},
        {"blocks that do not reach the directory", 0x00,
         [](std::vector<uint8_t>& f) {
             // Block 0 said to be a byte shorter: no trailer before the table has its blocks back to back.
             put_be32(&f, 512 + 80 + 8, 29);
         }},
        {"checksum of a block differs", 0x80, [](std::vector<uint8_t>& f) { f[512 + 40] ^= 0x04; }},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> file = installer(c.flags);
        append_signature(&file, 3);
        c.edit(file);
        Loaded l;
        EXPECT_FALSE(load(file, &l)) << c.what;
    }
}

TEST(SignedInstaller, TrailerAtTheEndStillWinsOverTheHeaders) {
    // An unsigned installer whose stub carries a stale security entry reads as it always did.
    std::vector<uint8_t> stub = minimal_pe();
    put_le32(&stub, security_entry_at(), 100);
    put_le32(&stub, security_entry_at() + 4, 50);
    Loaded l;
    ASSERT_TRUE(load(build_installer(stub, {std::vector<uint8_t>(30, 1)}, 5, 0x02), &l));
    EXPECT_EQ(l.count, 1);
    EXPECT_EQ(l.flags, 0x02);
}

TEST(SignatureRemoved, ZeroPaddingAtTheEndOfAnImageWithoutCertificatesReadsAsUnsigned) {
    using Edit = std::function<void(std::vector<uint8_t>&)>;
    auto zeros = [](size_t n) -> Edit { return [n](std::vector<uint8_t>& f) { f.insert(f.end(), n, 0); }; };
    auto bytes = [](std::vector<uint8_t> tail) -> Edit {
        return [tail](std::vector<uint8_t>& f) { f.insert(f.end(), tail.begin(), tail.end()); };
    };
    struct Case {
        const char* what;
        Edit edit;
        bool read;
    } cases[] = {
        {"1 zero byte", zeros(1), true},
        {"2 zero bytes", zeros(2), true},
        {"3 zero bytes", zeros(3), true},
        {"4 zero bytes", zeros(4), true},
        {"5 zero bytes", zeros(5), true},
        {"6 zero bytes", zeros(6), true},
        {"7 zero bytes", zeros(7), true},
        {"8 zero bytes", zeros(8), false},
        {"a non-zero byte among zeros", bytes({0, 1, 0}), false},
        {"a non-zero last byte", bytes({0, 0, 7}), false},
        {"zeros after an image that is no PE",
         [](std::vector<uint8_t>& f) {
             f[0x3C] = 0xF0;
             f.insert(f.end(), 3, 0);
         },
         false},
        {"zeros after an image whose security entry names a table",
         [](std::vector<uint8_t>& f) {
             put_le32(&f, security_entry_at(), 100);
             put_le32(&f, security_entry_at() + 4, 8);
             f.insert(f.end(), 3, 0);
         },
         false},
        // Padding before a certificate table is the signed form's, and after one nothing may follow.
        {"padding, then a certificate table", [](std::vector<uint8_t>& f) { append_signature(&f, 5); }, true},
        {"a certificate table, then zeros",
         [](std::vector<uint8_t>& f) {
             append_signature(&f, 5);
             f.insert(f.end(), 3, 0);
         },
         false},
    };
    for (uint8_t flags : {uint8_t(0x00), uint8_t(0x81)}) {
        for (const Case& c : cases) {
            std::vector<uint8_t> file = installer(flags);
            c.edit(file);
            Loaded l;
            ASSERT_EQ(load(file, &l), c.read) << c.what << ", flags " << int(flags);
            if (!c.read) continue;
            EXPECT_EQ(l.count, 2) << c.what;
            EXPECT_EQ(l.total, 777u) << c.what;
            EXPECT_EQ(l.flags, flags) << c.what;
            EXPECT_EQ(block_bytes(l.blocks[0]), std::vector<uint8_t>(30, 1)) << c.what;
        }
    }
}
