// Threads and monitors on Win32 calls every Windows since XP has: a critical section and an event.
#include <windows.h>

#include <cstdlib>

#include "platform/thread.h"

struct OsThread {
    HANDLE handle;
    void (*fn)(void*);
    void* context;
};

// No condition variables before Vista: waiters sleep on a manual-reset event that wake_all sets, and never
// longer than a few milliseconds, so a wake that one waiter's reset hides from another costs that much at most.
struct OsMonitor {
    CRITICAL_SECTION lock;
    HANDLE woken;
};

namespace {

DWORD WINAPI thread_main(LPVOID arg) {
    auto* thread = static_cast<OsThread*>(arg);
    thread->fn(thread->context);
    return 0;
}

constexpr DWORD WAIT_SLICE_MS = 20;

}  // namespace

OsThread* os_thread_start(void (*fn)(void*), void* context) {
    auto* thread = static_cast<OsThread*>(malloc(sizeof(OsThread)));
    if (!thread) return nullptr;
    thread->fn = fn;
    thread->context = context;
    DWORD id;
    thread->handle = CreateThread(nullptr, 0, thread_main, thread, 0, &id);
    if (!thread->handle) {
        free(thread);
        return nullptr;
    }
    return thread;
}

void os_thread_join(OsThread* thread) {
    WaitForSingleObject(thread->handle, INFINITE);
    CloseHandle(thread->handle);
    free(thread);
}

OsMonitor* os_monitor_new() {
    auto* monitor = static_cast<OsMonitor*>(malloc(sizeof(OsMonitor)));
    if (!monitor) return nullptr;
    monitor->woken = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!monitor->woken) {
        free(monitor);
        return nullptr;
    }
    InitializeCriticalSection(&monitor->lock);
    return monitor;
}

void os_monitor_free(OsMonitor* monitor) {
    DeleteCriticalSection(&monitor->lock);
    CloseHandle(monitor->woken);
    free(monitor);
}

void os_monitor_enter(OsMonitor* monitor) { EnterCriticalSection(&monitor->lock); }
void os_monitor_leave(OsMonitor* monitor) { LeaveCriticalSection(&monitor->lock); }

void os_monitor_wait(OsMonitor* monitor) {
    ResetEvent(monitor->woken);
    LeaveCriticalSection(&monitor->lock);
    WaitForSingleObject(monitor->woken, WAIT_SLICE_MS);
    EnterCriticalSection(&monitor->lock);
}

void os_monitor_wake_all(OsMonitor* monitor) { SetEvent(monitor->woken); }

int os_cpu_count() {
    DWORD_PTR process = 0, system = 0;
    int n = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system))
        for (; process; process &= process - 1) ++n;
    return n > 0 ? n : 1;
}

uint64_t os_physical_memory() {
    MEMORYSTATUSEX status;
    status.dwLength = sizeof status;
    return GlobalMemoryStatusEx(&status) ? uint64_t(status.ullTotalPhys) : 0;
}
