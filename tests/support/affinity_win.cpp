// The process kept to one processor for a test: SetProcessAffinityMask.
#include <windows.h>

#include "support/test_support.h"

OneProcessor::OneProcessor() {
    DWORD_PTR process = 0, system = 0;
    if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system) || process == 0) return;
    const DWORD_PTR lowest = process & (~process + 1);
    if (!SetProcessAffinityMask(GetCurrentProcess(), lowest)) return;
    saved_ = new DWORD_PTR(process);
}

OneProcessor::~OneProcessor() {
    if (!saved_) return;
    SetProcessAffinityMask(GetCurrentProcess(), *static_cast<DWORD_PTR*>(saved_));
    delete static_cast<DWORD_PTR*>(saved_);
}
