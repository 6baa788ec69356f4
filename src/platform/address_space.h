// The address space of the process: how much memory it could map at most, whatever the machine has.
#pragma once
#include <cstdint>

// Bytes of virtual address space the process has: on Windows the system's figure (at most 4 GiB for a 32-bit
// program, 2 GiB without large-address-awareness), on Linux the range of a pointer. 0 when the system does not say.
uint64_t os_address_space();
