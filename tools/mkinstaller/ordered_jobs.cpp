// The ordered job runner: worker threads take jobs in order under the budget; the caller takes results in order.
#include "ordered_jobs.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace {

class Runner {
public:
    Runner(const OrderedJobs& jobs, uint64_t budget)
        : jobs_(jobs), budget_(budget), cost_(jobs.count), held_(jobs.count), done_(jobs.count), error_(jobs.count) {
        for (size_t i = 0; i < jobs.count; ++i) cost_[i] = jobs.cost(i);
    }

    // Workers finish the jobs they run and end before the runner goes, after the last result or at an exception.
    ~Runner() { stop_all(); }

    void run(unsigned threads) {
        for (unsigned t = 0; t < threads; ++t) workers_.emplace_back([this] { work(); });
        for (size_t i = 0; i < jobs_.count; ++i) take(i);
    }

private:
    // Waits for job i, then hands its result over or rethrows its exception.
    void take(size_t i) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return bool(done_[i]); });
        if (error_[i]) std::rethrow_exception(error_[i]);
        lock.unlock();
        jobs_.take(i);
        lock.lock();
        in_use_ -= held_[i];
        changed_.notify_all();
    }

    void work() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (true) {
            changed_.wait(lock, [&] { return stop_ || next_ == jobs_.count || fits(next_); });
            if (stop_ || next_ == jobs_.count) return;
            const size_t i = next_++;
            in_use_ += cost_[i];
            lock.unlock();
            uint64_t held = 0;
            std::exception_ptr error;
            try {
                held = jobs_.run(i);
            } catch (...) {
                error = std::current_exception();
            }
            lock.lock();
            in_use_ += held;
            in_use_ -= cost_[i];
            held_[i] = held;
            error_[i] = error;
            done_[i] = 1;
            if (error) stop_ = true;  // nothing after a failed job is taken
            changed_.notify_all();
        }
    }

    bool fits(size_t i) const { return in_use_ == 0 || in_use_ + cost_[i] <= budget_; }

    void stop_all() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        for (std::thread& t : workers_) t.join();
        workers_.clear();
    }

    const OrderedJobs& jobs_;
    const uint64_t budget_;
    std::vector<uint64_t> cost_;
    std::vector<uint64_t> held_;
    std::vector<char> done_;
    std::vector<std::exception_ptr> error_;
    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable changed_;
    size_t next_ = 0;      // the next job to start
    uint64_t in_use_ = 0;  // costs of running jobs plus results not yet taken
    bool stop_ = false;
};

}  // namespace

void run_ordered_jobs(const OrderedJobs& jobs, unsigned threads, uint64_t budget) {
    if (threads > jobs.count) threads = unsigned(jobs.count);
    if (threads <= 1) {
        for (size_t i = 0; i < jobs.count; ++i) {
            jobs.run(i);
            jobs.take(i);
        }
        return;
    }
    Runner(jobs, budget).run(threads);
}
