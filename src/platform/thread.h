// Threads, a monitor (one lock, one condition) and the machine's size, for the engine's decoding pipeline.
#pragma once
#include <cstdint>

struct OsThread;
struct OsMonitor;

// Starts fn(context) on a new thread. Null when no thread could be started (nothing to join then).
OsThread* os_thread_start(void (*fn)(void* context), void* context);

// Waits until the thread has returned, then releases it.
void os_thread_join(OsThread* thread);

// A lock with one condition. Null when the system has no resources for one.
OsMonitor* os_monitor_new();
void os_monitor_free(OsMonitor* monitor);
void os_monitor_enter(OsMonitor* monitor);
void os_monitor_leave(OsMonitor* monitor);
// Called holding the monitor: releases it while waiting, holds it again on return. Returns after a wake_all or
// by itself (the caller tests its condition again in a loop), at the latest after some milliseconds.
void os_monitor_wait(OsMonitor* monitor);
// Wakes every thread waiting in the monitor; called holding it.
void os_monitor_wake_all(OsMonitor* monitor);

// Processors the process may run on (at least 1), and the machine's physical memory in bytes (0 if unknown).
int os_cpu_count();
uint64_t os_physical_memory();
