// The LZMA SDK encoder wrapped for whole blocks in memory.
#include "block_encoder.h"

#include <cstdlib>

extern "C" {
#include <LzmaEnc.h>
}

#include "payload/format.h"

namespace {

void* alloc_callback(void*, size_t size) { return size == 0 ? nullptr : malloc(size); }
void free_callback(void*, void* address) { free(address); }
ISzAlloc g_alloc = {alloc_callback, free_callback};

}  // namespace

uint32_t auto_dict_size(size_t unpacked) {
    uint32_t dict = 4096;
    while (dict < unpacked && dict < (128u << 20)) dict <<= 1;
    return dict;
}

bool encode_block(const std::vector<uint8_t>& stream, const EncodeOptions& options, std::vector<uint8_t>* out,
                  std::string* error) {
    if (stream.size() >= 0x80000000u) {
        *error = "block of 2 GiB or more";
        return false;
    }
    CLzmaEncProps props;
    LzmaEncProps_Init(&props);
    props.level = options.level;
    props.dictSize = options.dict_size ? options.dict_size : auto_dict_size(stream.size());
    props.lc = options.lc;
    props.lp = options.lp;
    props.pb = options.pb;
    props.writeEndMark = options.end_marker ? 1 : 0;
    props.numThreads = 1;

    // Incompressible input grows by a little; this bound is generous for LZMA.
    SizeT cap = stream.size() + stream.size() / 3 + 256;
    out->assign(BLOCK_HEADER_SIZE + cap, 0);
    SizeT props_size = BLOCK_PROPS_SIZE;
    SizeT dest_len = cap;
    SRes res = LzmaEncode(out->data() + BLOCK_HEADER_SIZE, &dest_len, stream.data(), stream.size(), &props,
                          out->data() + BLOCK_PROPS_OFFSET, &props_size, props.writeEndMark, nullptr, &g_alloc, &g_alloc);
    if (res != SZ_OK || props_size != BLOCK_PROPS_SIZE) {
        *error = res == SZ_ERROR_MEM ? "out of memory in the LZMA encoder" : "LZMA encoder failed (" + std::to_string(res) + ")";
        return false;
    }
    write_be32(out->data(), uint32_t(stream.size()));
    out->resize(BLOCK_HEADER_SIZE + dest_len);
    return true;
}
