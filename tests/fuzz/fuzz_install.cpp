// libFuzzer target: a whole installer read, checked by its manifest as the installer does before it writes, and
// installed through the decoding pipeline, two threads and a budget small enough that blocks wait for each
// other; anything created outside the install directory is a finding.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "installer_input.h"
#include "payload/payload.h"
#include "payload/pipeline.h"
#include "payload/preflight.h"

namespace fs = std::filesystem;

namespace {

constexpr PipelineLimits LIMITS = {2, 64u << 10};

fs::path g_base;  // base/inst/
std::string g_install_dir;

void set_up() {
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/fuzz-install-XXXXXX";
    if (!mkdtemp(&pattern[0])) abort();
    g_base = pattern;
    fs::create_directories(g_base / "inst");
    g_install_dir = (g_base / "inst").string() + "/";
    // The extraction's trace lines would drown the fuzzer's own output.
    if (!freopen("/dev/null", "w", stdout)) abort();
    atexit([] {
        std::error_code ec;
        fs::remove_all(g_base, ec);
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = (set_up(), true);
    (void)ready;
    int32_t count = 0;
    uint32_t total = 0;
    int flags = 0;
    Manifest manifest{};
    InstallerInput input;
    PayloadBlock** blocks = read_installer_input(data, size, &input, &count, &total, &flags, &manifest);
    if (!blocks) return 0;
    bool go_ahead = true;
    if (manifest.length > 0) {
        static PreflightReport report;
        const PreflightResult checked = preflight(g_install_dir.c_str(), manifest, &report);
        if (checked < PreflightResult::ok || checked > PreflightResult::denied) abort();
        // A refusal writes nothing: the install directory stays empty.
        if (checked != PreflightResult::ok && fs::directory_iterator(g_install_dir) != fs::directory_iterator())
            abort();
        go_ahead = checked == PreflightResult::ok;
        if (go_ahead) remove_temporaries(g_install_dir.c_str(), manifest);
    }
    free_manifest(&manifest);
    if (go_ahead && blocks_small_enough(blocks, count)) {
        const bool verified = (flags & PAYLOAD_FLAG_CHECKSUMS) != 0;
        const int status =
            install_payload_within(LIMITS, g_install_dir.c_str(), blocks, count, total, verified, nullptr);
        if (status != EXTRACT_OK && status != EXTRACT_FAILED) abort();
        for (const auto& entry : fs::directory_iterator(g_base))
            if (entry.path().filename() != "inst") abort();
        for (const auto& entry : fs::directory_iterator(g_install_dir)) fs::remove_all(entry.path());
    }
    free_payload(blocks, count);
    return 0;
}
