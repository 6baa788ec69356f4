// The address space on Windows: GlobalMemoryStatusEx's total virtual memory of the process.
#include "platform/address_space.h"

#include <windows.h>

uint64_t os_address_space() {
    MEMORYSTATUSEX status;
    status.dwLength = sizeof status;
    return GlobalMemoryStatusEx(&status) ? uint64_t(status.ullTotalVirtual) : 0;
}
