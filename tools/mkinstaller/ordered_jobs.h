// Numbered jobs on several threads within a memory budget, their results taken in number order.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>

// The jobs 0 to count - 1. Each function gets the job's number; the caller keeps the results, one slot a job.
struct OrderedJobs {
    size_t count = 0;
    // Estimated peak bytes of memory job i takes while it runs. Called on the calling thread, once a job.
    std::function<uint64_t(size_t)> cost;
    // Does job i on some thread and leaves its result in its slot; returns the bytes that result holds until
    // it is taken. May throw.
    std::function<uint64_t(size_t)> run;
    // Takes job i's result, on the calling thread, in number order, once a job. May throw.
    std::function<void(size_t)> take;
};

// Runs the jobs on up to threads threads (1: one after another on the calling thread), starting them in
// number order and each only while the costs of the running jobs and the results not yet taken stay within
// budget; a job starts regardless when nothing else runs or waits, so one job over the budget runs alone.
// The results are taken as soon as all before them are. The first exception in number order, from run or
// take, ends it: no further job starts, the running ones finish, nothing after it is taken, and it is
// rethrown. run must be safe to call from several threads at once for different jobs.
void run_ordered_jobs(const OrderedJobs& jobs, unsigned threads, uint64_t budget);
