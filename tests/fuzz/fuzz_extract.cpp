// libFuzzer target: record extraction into a scratch install directory; anything created outside it,
// at any of the guard levels above it, is a finding.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "payload/extract.h"

namespace fs = std::filesystem;

namespace {

constexpr int GUARD_LEVELS = 8;

fs::path g_base;  // base/g1/g2/.../g8/inst/
std::string g_install_dir;

void set_up() {
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/fuzz-extract-XXXXXX";
    if (!mkdtemp(&pattern[0])) abort();
    g_base = pattern;
    fs::path dir = g_base;
    for (int i = 1; i <= GUARD_LEVELS; ++i) dir /= "g" + std::to_string(i);
    dir /= "inst";
    fs::create_directories(dir);
    g_install_dir = dir.string() + "/";
    // The extraction's trace lines would drown the fuzzer's own output.
    if (!freopen("/dev/null", "w", stdout)) abort();
    atexit([] {
        std::error_code ec;
        fs::remove_all(g_base, ec);
    });
}

// Each guard level holds exactly its one child: the next level, or the install directory.
void check_contained() {
    fs::path dir = g_base;
    for (int i = 1; i <= GUARD_LEVELS + 1; ++i) {
        const std::string child = i <= GUARD_LEVELS ? "g" + std::to_string(i) : "inst";
        for (const auto& entry : fs::directory_iterator(dir)) {
            if (entry.path().filename() != child) {
                fprintf(stderr, "written outside the install directory: %s\n", entry.path().c_str());
                abort();
            }
        }
        dir /= child;
    }
}

void empty_install_dir() {
    for (const auto& entry : fs::directory_iterator(g_install_dir)) fs::remove_all(entry.path());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = (set_up(), true);
    (void)ready;
    if (size > INT32_MAX) return 0;
    const int status = extract_records(data, int32_t(size), g_install_dir.c_str(), nullptr);
    if (status != EXTRACT_OK && status != EXTRACT_FAILED) abort();
    check_contained();
    empty_install_dir();
    return 0;
}
