// The LZMA SDK encoder wrapped for whole blocks in memory, and stored blocks beside it.
#include "block_encoder.h"

#include <algorithm>
#include <cstdlib>

extern "C" {
#include <LzmaEnc.h>
}

#include "payload/format.h"
#include "payload/lzma_alloc.h"

namespace {

uint32_t dictionary_for(size_t stream_size, const EncodeOptions& options) {
    return options.dict_size ? options.dict_size : auto_dict_size(stream_size, options.level);
}

// Incompressible input grows by a little; this bound is generous for LZMA.
size_t output_capacity(size_t stream_size) { return stream_size + stream_size / 3 + 256; }

}  // namespace

uint32_t level_dict_size(int level) {
    static const uint32_t KiB = 1024, MiB = 1024 * KiB;
    static const uint32_t by_level[] = {256 * KiB, 1 * MiB, 2 * MiB,  4 * MiB,  4 * MiB,
                                        8 * MiB,   8 * MiB, 16 * MiB, 32 * MiB, 128 * MiB};
    return by_level[level < 0 ? 0 : level > 9 ? 9 : level];
}

uint32_t auto_dict_size(size_t unpacked, int level) {
    const uint32_t most = level_dict_size(level);
    uint32_t dict = 4096;
    while (dict < unpacked && dict < most) dict <<= 1;
    return dict;
}

uint64_t encode_memory(size_t stream_size, const EncodeOptions& options) {
    return uint64_t(dictionary_for(stream_size, options)) * 23 / 2 + BLOCK_HEADER_SIZE + output_capacity(stream_size);
}

namespace {

// The SDK's progress interface first, so that the SDK's pointer to it is a pointer to the whole.
struct EncodeProgress {
    ICompressProgress sdk;
    const std::function<void(uint64_t)>* report;
};

SRes on_encode_progress(void* self, UInt64 in, UInt64) {
    const auto* progress = static_cast<EncodeProgress*>(self);
    if (in != UInt64(-1)) (*progress->report)(in);
    return SZ_OK;
}

}  // namespace

bool encode_block(const std::vector<uint8_t>& stream, const EncodeOptions& options, std::vector<uint8_t>* out,
                  std::string* error, const std::function<void(uint64_t)>& progress) {
    if (stream.size() >= 0x80000000u) {
        *error = "block of 2 GiB or more";
        return false;
    }
    CLzmaEncProps props;
    LzmaEncProps_Init(&props);
    props.level = options.level;
    props.dictSize = dictionary_for(stream.size(), options);
    props.lc = options.lc;
    props.lp = options.lp;
    props.pb = options.pb;
    props.writeEndMark = options.end_marker ? 1 : 0;
    props.numThreads = 1;

    SizeT cap = output_capacity(stream.size());
    out->assign(BLOCK_HEADER_SIZE + cap, 0);
    SizeT props_size = BLOCK_PROPS_SIZE;
    SizeT dest_len = cap;
    EncodeProgress report{{on_encode_progress}, &progress};
    SRes res = LzmaEncode(out->data() + BLOCK_HEADER_SIZE, &dest_len, stream.data(), stream.size(), &props,
                          out->data() + BLOCK_PROPS_OFFSET, &props_size, props.writeEndMark,
                          progress ? &report.sdk : nullptr, lzma_alloc(), lzma_alloc());
    if (res != SZ_OK || props_size != BLOCK_PROPS_SIZE) {
        *error = res == SZ_ERROR_MEM ? "out of memory in the LZMA encoder"
                                     : "LZMA encoder failed (" + std::to_string(res) + ")";
        return false;
    }
    write_be32(out->data(), uint32_t(stream.size()));
    out->resize(BLOCK_HEADER_SIZE + dest_len);
    return true;
}

std::vector<uint8_t> stored_block(const std::vector<uint8_t>& stream) {
    std::vector<uint8_t> out(BLOCK_HEADER_SIZE + stream.size(), 0);  // dictionary field 0
    write_be32(out.data(), uint32_t(stream.size()));
    out[BLOCK_PROPS_OFFSET] = BLOCK_PROPS_STORED;
    std::copy(stream.begin(), stream.end(), out.begin() + BLOCK_HEADER_SIZE);
    return out;
}
