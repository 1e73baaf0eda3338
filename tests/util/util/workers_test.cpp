// The process's worker threads: every thread index runs once per task, task after task,
// and a child forked from a process with workers (as a death test's) has workers of its own.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <vector>

#include "util/util/workers.h"

namespace {

TEST(Workers, EveryThreadRunsOncePerTaskTaskAfterTask) {
    const int threads = workers::count();
    ASSERT_GE(threads, 1);
    ASSERT_LE(threads, 8);
    std::vector<std::atomic<int>> runs(static_cast<size_t>(threads));
    for (int task = 0; task < 2000; ++task) {
        for (auto& r : runs) r.store(0);
        workers::run([&](int thread, int count) {
            ASSERT_EQ(threads, count);
            runs[size_t(thread)].fetch_add(1);
        });
        for (int t = 0; t < threads; ++t) ASSERT_EQ(1, runs[size_t(t)].load()) << "thread " << t << ", task " << task;
    }
}

TEST(Workers, AForkedChildRunsTasksOnWorkersOfItsOwn) {
    workers::run([](int, int) {});  // the parent's workers exist
    GTEST_FLAG_SET(death_test_style, "fast");  // fork, without exec
    EXPECT_EXIT(
        {
            std::atomic<int> ran{0};
            workers::run([&](int, int) { ran.fetch_add(1); });
            std::exit(ran.load() == workers::count() ? 3 : 4);
        },
        testing::ExitedWithCode(3), "");
}

}  // namespace
