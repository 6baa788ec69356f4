// libFuzzer target: the vendor tool's verify and list over any file, reading one block at a time from where it
// lies; a result other than ok or damaged, or any fault of memory, is a finding.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "exit_codes.h"
#include "inspect.h"
#include "installer_input.h"

namespace fs = std::filesystem;

namespace {

fs::path g_dir;
fs::path g_installer;

void set_up() {
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/fuzz-verify-XXXXXX";
    if (!mkdtemp(&pattern[0])) abort();
    g_dir = pattern;
    g_installer = g_dir / "setup.exe";
    atexit([] {
        std::error_code ec;
        fs::remove_all(g_dir, ec);
    });
}

// Whether the input is small enough to decode (blocks_small_enough); an input the installer's own reader refuses
// is checked too (verify refuses it the same way, reading nothing more).
bool small_enough(const uint8_t* data, size_t size) {
    int32_t count = 0;
    uint32_t total = 0;
    int flags = 0;
    InstallerInput input;
    PayloadBlock** blocks = read_installer_input(data, size, &input, &count, &total, &flags);
    const bool small = !blocks || blocks_small_enough(blocks, count);
    free_payload(blocks, count);
    return small;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = (set_up(), true);
    (void)ready;
    if (!small_enough(data, size)) return 0;
    FILE* file = fopen(g_installer.c_str(), "wb");
    if (!file) abort();
    if (size > 0 && fwrite(data, 1, size, file) != size) abort();
    if (fclose(file) != 0) abort();
    // list is verify that also prints what it reads: one or the other, by the input's last byte.
    const bool print = size > 0 && (data[size - 1] & 1);
    const int status = inspect_installer(g_installer, print);
    if (status != MKI_OK && status != MKI_DAMAGED) abort();
    return 0;
}
