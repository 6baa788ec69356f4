// Page faults of the calling thread (getrusage), where transparent huge pages are on and no sanitizer shadows memory.
#include <sys/resource.h>

#include <cstdio>
#include <cstring>

#include "support/test_support.h"

namespace {

// "always" or "madvise" is marked [...] in the kernel's setting; "[never]" turns them off.
bool transparent_huge_pages_on() {
    FILE* f = fopen("/sys/kernel/mm/transparent_hugepage/enabled", "r");
    if (!f) return false;
    char line[128] = {};
    const bool read = fgets(line, sizeof line, f) != nullptr;
    fclose(f);
    return read && !strstr(line, "[never]");
}

}  // namespace

long large_page_faults_so_far() {
    static const bool on = transparent_huge_pages_on() && !SHADOW_MEMORY;
    rusage usage{};
    if (!on || getrusage(RUSAGE_THREAD, &usage) != 0) return -1;
    return usage.ru_minflt + usage.ru_majflt;
}
