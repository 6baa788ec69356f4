// Code page 936 and UTF-8 on Linux: iconv's CP936, all of a string or nothing.
#include "platform/code_page.h"

#include <iconv.h>

#include <cstdlib>
#include <cstring>

namespace {

bool convert(const char* to, const char* from, const char* in, size_t len, char* out, size_t cap, size_t* out_len) {
    if (cap == 0) return false;
    iconv_t cd = iconv_open(to, from);
    if (cd == (iconv_t)-1) return false;
    char* src = const_cast<char*>(in);
    size_t src_left = len;
    char* dst = out;
    size_t dst_left = cap - 1;
    const size_t rc = iconv(cd, &src, &src_left, &dst, &dst_left);
    iconv_close(cd);
    if (rc == size_t(-1) || src_left != 0) return false;
    *dst = '\0';
    *out_len = size_t(dst - out);
    return true;
}

}  // namespace

bool os_utf8_from_cp936(const char* in, size_t len, char* out, size_t cap, size_t* out_len) {
    return convert("UTF-8", "CP936", in, len, out, cap, out_len);
}

bool os_cp936_from_utf8(const char* in, size_t len, char* out, size_t cap, size_t* out_len) {
    if (!convert("CP936", "UTF-8", in, len, out, cap, out_len)) return false;
    // Back again: the same charset the extraction converts with, so a name survives the round trip unchanged.
    const size_t back_cap = 3 * *out_len + 1;
    char* back = static_cast<char*>(malloc(back_cap));
    size_t back_len = 0;
    const bool same = back && convert("UTF-8", "CP936", out, *out_len, back, back_cap, &back_len) && back_len == len &&
                      memcmp(back, in, len) == 0;
    free(back);
    return same;
}
