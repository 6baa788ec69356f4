// The address space on Linux: what a pointer can reach.
#include "platform/address_space.h"

uint64_t os_address_space() { return uint64_t(UINTPTR_MAX); }
