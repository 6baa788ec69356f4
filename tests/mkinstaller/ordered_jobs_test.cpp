// The ordered job runner: results taken in order, the memory budget, the first failure in order.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "ordered_jobs.h"

namespace {

void pause_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

TEST(OrderedJobs, ResultsAreTakenInOrderWhateverOrderTheJobsFinishIn) {
    for (unsigned threads : {1u, 2u, 4u}) {
        std::vector<size_t> results(12, 0);
        std::vector<size_t> taken;
        OrderedJobs jobs;
        jobs.count = results.size();
        jobs.cost = [](size_t) { return uint64_t(1); };
        jobs.run = [&](size_t i) {
            pause_ms(int(12 - i) % 4 * 3);  // later jobs often finish first
            results[i] = i * i;
            return uint64_t(0);
        };
        jobs.take = [&](size_t i) { taken.push_back(results[i]); };
        run_ordered_jobs(jobs, threads, 100);
        EXPECT_EQ(taken, (std::vector<size_t>{0, 1, 4, 9, 16, 25, 36, 49, 64, 81, 100, 121})) << threads << " threads";
    }
}

TEST(OrderedJobs, RunningJobsAndResultsNotYetTakenStayWithinTheBudget) {
    // Job 4 alone is over the budget of 100: it runs when nothing else runs or waits.
    const std::vector<uint64_t> costs = {40, 30, 30, 50, 120, 10, 60, 10};
    const uint64_t held = 5;  // each result, until taken
    std::mutex mutex;
    uint64_t in_use = 0;
    int running = 0, most_running = 0;
    std::vector<std::string> over;
    OrderedJobs jobs;
    jobs.count = costs.size();
    jobs.cost = [&](size_t i) { return costs[i]; };
    jobs.run = [&](size_t i) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            in_use += costs[i];
            ++running;
            if (running > most_running) most_running = running;
            if (in_use > 100 && !(running == 1 && in_use == costs[i]))
                over.push_back("job " + std::to_string(i) + ": " + std::to_string(in_use));
        }
        pause_ms(20);
        std::lock_guard<std::mutex> lock(mutex);
        in_use -= costs[i];
        in_use += held;
        --running;
        return held;
    };
    jobs.take = [&](size_t) {
        std::lock_guard<std::mutex> lock(mutex);
        in_use -= held;
    };
    run_ordered_jobs(jobs, 4, 100);
    EXPECT_EQ(over, std::vector<std::string>{});
    EXPECT_GT(most_running, 1) << "jobs within the budget run at once";
    EXPECT_EQ(in_use, 0u);
}

TEST(OrderedJobs, TheFirstFailureInOrderEndsTheRunAndIsRethrown) {
    struct Case {
        unsigned threads;
        std::vector<size_t> failing_runs;
        size_t failing_take;  // 99: none
        const char* message;
        std::vector<size_t> taken;
    } cases[] = {
        {1, {3, 6}, 99, "run 3", {0, 1, 2}}, {4, {3, 6}, 99, "run 3", {0, 1, 2}}, {4, {6, 3}, 99, "run 3", {0, 1, 2}},
        {4, {}, 2, "take 2", {0, 1}},        {4, {5}, 2, "take 2", {0, 1}},
    };
    for (const Case& c : cases) {
        std::vector<size_t> taken;
        OrderedJobs jobs;
        jobs.count = 10;
        jobs.cost = [](size_t) { return uint64_t(1); };
        jobs.run = [&](size_t i) {
            // The later failure finishes first.
            pause_ms(!c.failing_runs.empty() && i == c.failing_runs.back() ? 0 : 10);
            for (size_t f : c.failing_runs)
                if (i == f) throw std::runtime_error("run " + std::to_string(i));
            return uint64_t(0);
        };
        jobs.take = [&](size_t i) {
            if (i == c.failing_take) throw std::runtime_error("take " + std::to_string(i));
            taken.push_back(i);
        };
        std::string message;
        try {
            run_ordered_jobs(jobs, c.threads, 100);
        } catch (const std::runtime_error& e) {
            message = e.what();
        }
        EXPECT_EQ(message, c.message) << c.threads << " threads";
        EXPECT_EQ(taken, c.taken) << c.message;
    }
}
