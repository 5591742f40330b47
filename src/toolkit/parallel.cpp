#include "toolkit/parallel.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace {

constexpr int maxThreads = 256;

// True on a pool thread, and on a caller while it runs pool work: a codec library started
// there gets one thread, since the pool's threads are already at work.
thread_local bool insideWork = false;

int defaultThreadCount() {
    if (const char* text = std::getenv("PIXOVA_THREADS")) {
        char* end = nullptr;
        long n = std::strtol(text, &end, 10);
        if (end != text && *end == '\0' && n > 0)
            return static_cast<int>(std::min<long>(n, maxThreads));
    }
    return std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, maxThreads);
}

// One call of runTasks: the tasks, the next index to hand out and how many have finished.
struct Job {
    Job(const std::function<void(int)>* t, int n) : task(t), count(n) {}
    const std::function<void(int)>* task;
    int count;
    std::atomic<int> next{0};
    int finished = 0;
    int helpers = 0;  // pool threads inside work() for this job
    std::exception_ptr error;
};

// Several callers may use the pool at once, and work started inside a task is a job of its
// own that idle threads join: a batch of fewer files than threads still keeps every thread
// busy. A caller only waits for tasks that other threads have already begun, and those
// never wait for it, so nesting cannot deadlock.
class Pool {
  public:
    explicit Pool(int threads) {
        for (int i = 1; i < threads; ++i) {
            try {
                workers_.emplace_back([this] { workerLoop(); });
            } catch (...) {
                break;  // fewer threads than asked for: the work still gets done
            }
        }
    }

    ~Pool() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        for (std::thread& t : workers_) t.join();
    }

    // Runs the tasks with the caller taking part.
    void run(int count, const std::function<void(int)>& task) {
        Job job{&task, count};
        {
            std::lock_guard lock(mutex_);
            jobs_.push_back(&job);
        }
        wake_.notify_all();
        work(job);
        std::unique_lock lock(mutex_);
        // Every task done and no helper still looking at the job, which lives on this stack.
        done_.wait(lock, [&] { return job.finished == job.count && job.helpers == 0; });
        jobs_.erase(std::find(jobs_.begin(), jobs_.end(), &job));
        lock.unlock();
        if (job.error) std::rethrow_exception(job.error);
    }

  private:
    // Takes tasks of the job until none is left.
    void work(Job& job) {
        const bool outer = insideWork;
        insideWork = true;
        for (;;) {
            int i = job.next.fetch_add(1);
            if (i >= job.count) break;
            std::exception_ptr error;
            try {
                (*job.task)(i);
            } catch (...) {
                error = std::current_exception();
            }
            std::lock_guard lock(mutex_);
            if (error && !job.error) job.error = error;
            if (++job.finished == job.count) done_.notify_all();
        }
        insideWork = outer;
    }

    // The oldest job with a task left to hand out; called with mutex_ held.
    Job* openJob() const {
        for (Job* job : jobs_) {
            if (job->next.load() < job->count) return job;
        }
        return nullptr;
    }

    void workerLoop() {
        for (;;) {
            Job* job = nullptr;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [&] { return stopping_ || (job = openJob()) != nullptr; });
                if (stopping_) return;
                ++job->helpers;
            }
            work(*job);
            std::lock_guard lock(mutex_);
            if (--job->helpers == 0) done_.notify_all();
        }
    }

    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable wake_, done_;
    std::vector<Job*> jobs_;  // in the order they were started
    bool stopping_ = false;
};

struct Settings {
    std::mutex mutex;
    int threads = 0;  // 0 until first asked
    int64_t minWorkPerTask = defaultMinWorkPerTask;
    std::unique_ptr<Pool> pool;
};

Settings& settings() {
    static Settings s;
    return s;
}

Pool* currentPool() {
    Settings& s = settings();
    std::lock_guard lock(s.mutex);
    if (s.threads == 0) s.threads = defaultThreadCount();
    if (s.threads > 1 && !s.pool) s.pool = std::make_unique<Pool>(s.threads);
    return s.pool.get();
}

}  // namespace

int threadCount() {
    Settings& s = settings();
    std::lock_guard lock(s.mutex);
    if (s.threads == 0) s.threads = defaultThreadCount();
    return s.threads;
}

int codecThreadCount() {
    return insideWork ? 1 : threadCount();
}

void configureThreads(int threads, int64_t minWorkPerTask) {
    Settings& s = settings();
    std::unique_ptr<Pool> old;
    {
        std::lock_guard lock(s.mutex);
        int wanted = threads > 0 ? std::min(threads, maxThreads) : defaultThreadCount();
        if (wanted != s.threads) old = std::move(s.pool);
        s.threads = wanted;
        s.minWorkPerTask = std::max<int64_t>(minWorkPerTask, 1);
    }
    // Joined outside the lock.
    old.reset();
}

void runTasks(int count, const std::function<void(int)>& task) {
    if (count <= 0) return;
    if (count > 1) {
        if (Pool* pool = currentPool()) {
            pool->run(count, task);
            return;
        }
    }
    const bool outer = insideWork;
    insideWork = true;
    struct Restore {
        bool value;
        ~Restore() { insideWork = value; }
    } restore{outer};
    for (int i = 0; i < count; ++i) task(i);
}

std::vector<WorkRange> splitWork(int64_t count, int64_t costPerItem) {
    std::vector<WorkRange> ranges;
    if (count <= 0) return ranges;
    int64_t minWork;
    int threads;
    {
        Settings& s = settings();
        std::lock_guard lock(s.mutex);
        if (s.threads == 0) s.threads = defaultThreadCount();
        threads = s.threads;
        minWork = s.minWorkPerTask;
    }
    const int64_t total = count * std::max<int64_t>(costPerItem, 1);
    const int64_t parts =
        std::clamp<int64_t>(total / minWork, 1, std::min<int64_t>(threads, count));
    ranges.reserve(static_cast<size_t>(parts));
    for (int64_t i = 0; i < parts; ++i) {
        ranges.push_back(WorkRange{count * i / parts, count * (i + 1) / parts});
    }
    return ranges;
}
