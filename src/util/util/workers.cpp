#include "util/util/workers.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace workers {
namespace {

// How long a thread waits awake for the next task, or the caller for the threads.
constexpr std::chrono::microseconds kSpin{50};

void pause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

// Spins until done() or kSpin has passed; whether done() came true.
template <class Done>
bool spinUntil(Done done) {
    const auto until = std::chrono::steady_clock::now() + kSpin;
    for (int i = 0;; ++i) {
        if (done()) return true;
        pause();
        if ((i & 63) == 63 && std::chrono::steady_clock::now() >= until) return false;
    }
}

class Pool {
public:
    explicit Pool(int threads) : threads_(threads) {
        for (int t = 1; t < threads; ++t) helpers_.emplace_back([this, t] { serve(t); });
    }
    ~Pool() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        for (std::thread& helper : helpers_) helper.join();
    }
    Pool(const Pool&) = delete;
    Pool& operator=(const Pool&) = delete;

    int threads() const { return threads_; }

    void run(const std::function<void(int, int)>& work) {
        if (helpers_.empty()) {
            work(0, 1);
            return;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            work_ = &work;
            pending_.store(threads_ - 1, std::memory_order_relaxed);
            round_.fetch_add(1, std::memory_order_release);
        }
        wake_.notify_all();
        work(0, threads_);
        if (spinUntil([this] { return pending_.load(std::memory_order_acquire) == 0; })) return;
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [this] { return pending_.load(std::memory_order_acquire) == 0; });
    }

private:
    void serve(int thread) {
        uint64_t seen = 0;
        for (;;) {
            spinUntil([&] { return round_.load(std::memory_order_acquire) != seen; });
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [&] { return stopping_ || round_.load(std::memory_order_relaxed) != seen; });
            if (stopping_) return;
            seen = round_.load(std::memory_order_relaxed);
            const std::function<void(int, int)>* work = work_;
            lock.unlock();
            (*work)(thread, threads_);
            if (pending_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
                std::lock_guard<std::mutex> done(mutex_);
                done_.notify_one();
            }
        }
    }

    const int threads_;
    std::vector<std::thread> helpers_;
    std::mutex mutex_;
    std::condition_variable wake_, done_;
    const std::function<void(int, int)>* work_ = nullptr;
    std::atomic<uint64_t> round_{0};
    std::atomic<int> pending_{0};
    bool stopping_ = false;
};

// The process's pool, made at the first task. A child forked from a process with a pool
// (a death test) has none of its threads, so it makes its own; the parent's is left as it is.
Pool* pool() {
    static std::unique_ptr<Pool> made;
    static Pool* parents = nullptr;  // kept, never run or destroyed: its threads and locks are the parent's
    static pid_t owner = 0;
    if (made && owner != getpid()) parents = made.release();
    if (!made) {
        made = std::make_unique<Pool>(count());
        owner = getpid();
    }
    (void)parents;
    return made.get();
}

}  // namespace

int count() {
    const unsigned n = std::thread::hardware_concurrency();
    return n < 1 ? 1 : n > 8 ? 8 : int(n);
}

void run(const std::function<void(int, int)>& work) { pool()->run(work); }

}  // namespace workers
