#include "toolkit/parallel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

class ParallelTest : public ::testing::Test {
  protected:
    void TearDown() override { configureThreads(0); }
};

TEST_F(ParallelTest, EveryTaskRunsExactlyOnceWhateverTheThreadCount) {
    for (int threads : {1, 2, 7}) {
        configureThreads(threads);
        for (int count : {0, 1, 2, 5, 64}) {
            std::vector<std::atomic<int>> runs(static_cast<size_t>(count));
            runTasks(count, [&](int i) { runs[static_cast<size_t>(i)].fetch_add(1); });
            for (int i = 0; i < count; ++i) {
                EXPECT_EQ(runs[static_cast<size_t>(i)].load(), 1)
                    << threads << " threads, task " << i << " of " << count;
            }
        }
    }
}

TEST_F(ParallelTest, SeveralThreadsReallyTakePart) {
    configureThreads(3);
    std::mutex mutex;
    std::set<std::thread::id> seen;
    std::atomic<int> waiting{0};
    // Each of three tasks waits until all three have started, which can only happen when
    // they run on three threads at once.
    runTasks(3, [&](int) {
        {
            std::lock_guard lock(mutex);
            seen.insert(std::this_thread::get_id());
        }
        waiting.fetch_add(1);
        while (waiting.load() < 3) std::this_thread::yield();
    });
    EXPECT_EQ(seen.size(), 3u);
}

TEST_F(ParallelTest, WorkStartedInsideWorkCompletesWithoutDeadlock) {
    configureThreads(2, 1);
    std::atomic<int> inner{0};
    runTasks(4, [&](int) {
        runTasks(5, [&](int) { inner.fetch_add(1); });
        parallelRows(0, 9, 1000, [&](int y0, int y1) { inner.fetch_add(y1 - y0); });
        // Three levels deep.
        runTasks(3, [&](int) { runTasks(2, [&](int) { inner.fetch_add(100); }); });
    });
    EXPECT_EQ(inner.load(), 4 * (5 + 10 + 600));
}

TEST_F(ParallelTest, IdleThreadsJoinWorkStartedInsideASingleTask) {
    // One outer task, as a batch of one file: its own work must still reach both threads.
    configureThreads(2, 1);
    EXPECT_EQ(splitWork(1000, 1000).size(), 2u);
    std::set<std::thread::id> seen;
    std::mutex mutex;
    std::atomic<int> started{0};
    runTasks(1, [&](int) {
        runTasks(2, [&](int) {
            {
                std::lock_guard lock(mutex);
                seen.insert(std::this_thread::get_id());
            }
            // Both halves must be running at once, which takes two threads; on one, the
            // first half gives up waiting and the thread count below tells.
            started.fetch_add(1);
            auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (started.load() < 2 && std::chrono::steady_clock::now() < giveUp) {
                std::this_thread::yield();
            }
        });
    });
    EXPECT_EQ(seen.size(), 2u);
}

TEST_F(ParallelTest, AThrownErrorReachesTheCallerAfterTheOtherTasks) {
    for (int threads : {1, 3}) {
        configureThreads(threads);
        std::atomic<int> finished{0};
        EXPECT_THROW(runTasks(6,
                              [&](int i) {
                                  if (i == 2) throw std::runtime_error("task 2");
                                  finished.fetch_add(1);
                              }),
                     std::runtime_error);
        if (threads > 1) {
            EXPECT_EQ(finished.load(), 5);
        }
        // The pool is usable again afterwards.
        std::atomic<int> again{0};
        runTasks(4, [&](int) { again.fetch_add(1); });
        EXPECT_EQ(again.load(), 4);
    }
}

TEST_F(ParallelTest, WorkIsSplitIntoContiguousRangesNoSmallerThanTheMinimum) {
    configureThreads(7, 100);
    // 23 items of 10: 230 units allow two shares of at least 100.
    std::vector<WorkRange> r = splitWork(23, 10);
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].begin, 0);
    EXPECT_EQ(r[0].end, r[1].begin);
    EXPECT_EQ(r[1].end, 23);
    // Plenty of work: one range per thread, never more ranges than items.
    r = splitWork(1000, 1000);
    ASSERT_EQ(r.size(), 7u);
    int64_t next = 0;
    for (const WorkRange& range : r) {
        EXPECT_EQ(range.begin, next);
        EXPECT_GE(range.end - range.begin, 142);
        next = range.end;
    }
    EXPECT_EQ(next, 1000);
    EXPECT_EQ(splitWork(3, 1000000).size(), 3u);
    EXPECT_EQ(splitWork(50, 1).size(), 1u);
    EXPECT_TRUE(splitWork(0, 10).empty());
}

TEST_F(ParallelTest, ParallelRowsCoversEveryRowOnce) {
    configureThreads(7, 1);
    std::vector<std::atomic<int>> rows(40);
    parallelRows(3, 37, 5, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) rows[static_cast<size_t>(y)].fetch_add(1);
    });
    for (int y = 0; y < 40; ++y) {
        EXPECT_EQ(rows[static_cast<size_t>(y)].load(), y >= 3 && y <= 37 ? 1 : 0) << y;
    }
}

TEST_F(ParallelTest, TheEnvironmentChoosesTheDefaultCount) {
    const char* old = std::getenv("PIXOVA_THREADS");
    std::string saved = old ? old : "";
    setenv("PIXOVA_THREADS", "5", 1);
    configureThreads(0);
    EXPECT_EQ(threadCount(), 5);
    // Nonsense falls back to the machine's cores.
    setenv("PIXOVA_THREADS", "lots", 1);
    configureThreads(0);
    int cores = static_cast<int>(std::thread::hardware_concurrency());
    EXPECT_EQ(threadCount(), cores > 0 ? cores : 1);
    setenv("PIXOVA_THREADS", "0", 1);
    configureThreads(0);
    EXPECT_EQ(threadCount(), cores > 0 ? cores : 1);
    configureThreads(3);
    EXPECT_EQ(threadCount(), 3);
    if (old) {
        setenv("PIXOVA_THREADS", saved.c_str(), 1);
    } else {
        unsetenv("PIXOVA_THREADS");
    }
}

}  // namespace
