#include "encode_queue.h"

#include <chrono>
#include <cstring>

namespace offline {

namespace {
double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
}  // namespace

EncodeQueue::EncodeQueue(FrameOutput* sink, int depth)
    : sink_(sink), depth_(depth > 0 ? size_t(depth) : 1), worker_(&EncodeQueue::run, this) {}

EncodeQueue::~EncodeQueue() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    worker_.join();
}

bool EncodeQueue::push(const unsigned char* pixels, int width, int height) {
    std::unique_lock<std::mutex> lock(mutex_);
    auto start = std::chrono::steady_clock::now();
    changed_.wait(lock, [this] { return failed_ || queued_.size() < depth_; });
    waitSeconds_ += secondsSince(start);
    if (failed_) return false;
    Frame frame;
    if (!spare_.empty()) {
        frame.pixels.swap(spare_.back());
        spare_.pop_back();
    }
    lock.unlock();
    size_t bytes = size_t(width) * size_t(height) * 4;
    frame.pixels.resize(bytes);
    memcpy(frame.pixels.data(), pixels, bytes);
    frame.width = width;
    frame.height = height;
    lock.lock();
    queued_.push_back(std::move(frame));
    changed_.notify_all();
    return true;
}

bool EncodeQueue::drain() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return failed_ || (queued_.empty() && !writing_); });
    return !failed_;
}

double EncodeQueue::encodeSeconds() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return encodeSeconds_;
}

double EncodeQueue::waitSeconds() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return waitSeconds_;
}

void EncodeQueue::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stop_ || !queued_.empty(); });
        if (queued_.empty()) return;  // stopped and drained
        Frame frame = std::move(queued_.front());
        queued_.pop_front();
        writing_ = true;
        bool skip = failed_;
        lock.unlock();
        auto start = std::chrono::steady_clock::now();
        bool ok = skip || sink_->write(frame.pixels.data(), frame.width, frame.height);
        double seconds = secondsSince(start);
        lock.lock();
        encodeSeconds_ += seconds;
        writing_ = false;
        if (!ok) failed_ = true;
        spare_.push_back(std::move(frame.pixels));
        changed_.notify_all();
    }
}

}  // namespace offline
