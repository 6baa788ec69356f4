// The calling thread kept to one processor for a test: sched_setaffinity.
#include <sched.h>

#include "support/test_support.h"

OneProcessor::OneProcessor() {
    cpu_set_t* saved = new cpu_set_t;
    if (sched_getaffinity(0, sizeof *saved, saved) != 0) {
        delete saved;
        return;
    }
    cpu_set_t one;
    CPU_ZERO(&one);
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, saved)) {
            CPU_SET(cpu, &one);
            break;
        }
    if (sched_setaffinity(0, sizeof one, &one) != 0) {
        delete saved;
        return;
    }
    saved_ = saved;
}

OneProcessor::~OneProcessor() {
    if (!saved_) return;
    sched_setaffinity(0, sizeof(cpu_set_t), static_cast<cpu_set_t*>(saved_));
    delete static_cast<cpu_set_t*>(saved_);
}
