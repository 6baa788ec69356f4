// Threads and monitors on pthreads; the processors from the process's affinity, the memory from sysconf.
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>

#include "platform/thread.h"

struct OsThread {
    pthread_t id;
    void (*fn)(void*);
    void* context;
};

struct OsMonitor {
    pthread_mutex_t lock;
    pthread_cond_t condition;
};

namespace {

void* thread_main(void* arg) {
    auto* thread = static_cast<OsThread*>(arg);
    thread->fn(thread->context);
    return nullptr;
}

}  // namespace

OsThread* os_thread_start(void (*fn)(void*), void* context) {
    auto* thread = static_cast<OsThread*>(malloc(sizeof(OsThread)));
    if (!thread) return nullptr;
    thread->fn = fn;
    thread->context = context;
    if (pthread_create(&thread->id, nullptr, thread_main, thread) != 0) {
        free(thread);
        return nullptr;
    }
    return thread;
}

void os_thread_join(OsThread* thread) {
    pthread_join(thread->id, nullptr);
    free(thread);
}

OsMonitor* os_monitor_new() {
    auto* monitor = static_cast<OsMonitor*>(malloc(sizeof(OsMonitor)));
    if (!monitor) return nullptr;
    pthread_mutex_init(&monitor->lock, nullptr);
    pthread_cond_init(&monitor->condition, nullptr);
    return monitor;
}

void os_monitor_free(OsMonitor* monitor) {
    pthread_cond_destroy(&monitor->condition);
    pthread_mutex_destroy(&monitor->lock);
    free(monitor);
}

void os_monitor_enter(OsMonitor* monitor) { pthread_mutex_lock(&monitor->lock); }
void os_monitor_leave(OsMonitor* monitor) { pthread_mutex_unlock(&monitor->lock); }

void os_monitor_wait(OsMonitor* monitor) {
    timespec until;
    clock_gettime(CLOCK_REALTIME, &until);
    until.tv_nsec += 50 * 1000 * 1000;
    if (until.tv_nsec >= 1000000000) {
        until.tv_nsec -= 1000000000;
        ++until.tv_sec;
    }
    pthread_cond_timedwait(&monitor->condition, &monitor->lock, &until);
}

void os_monitor_wake_all(OsMonitor* monitor) { pthread_cond_broadcast(&monitor->condition); }

int os_cpu_count() {
    // The processors this process may run on (taskset, a container's cpuset), not all the machine has.
    cpu_set_t allowed;
    if (sched_getaffinity(0, sizeof allowed, &allowed) == 0 && CPU_COUNT(&allowed) > 0) return CPU_COUNT(&allowed);
    const long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? int(n) : 1;
}

uint64_t os_physical_memory() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long page = sysconf(_SC_PAGE_SIZE);
    return pages > 0 && page > 0 ? uint64_t(pages) * uint64_t(page) : 0;
}
