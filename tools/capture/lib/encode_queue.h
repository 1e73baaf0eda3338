// Frames handed to a FrameOutput on a worker thread, so that PNG or pipe encoding of
// frame n overlaps the rendering of frame n + 1. At most `depth` frames wait; a full
// queue makes push() wait, which bounds the memory to depth + 1 frames.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "output.h"

namespace offline {

class EncodeQueue {
public:
    EncodeQueue(FrameOutput* sink, int depth);
    // Drains the queue and ends the worker.
    ~EncodeQueue();
    EncodeQueue(const EncodeQueue&) = delete;
    EncodeQueue& operator=(const EncodeQueue&) = delete;

    // Copies the frame (rows as FrameOutput::write takes them) and queues it. False once
    // a write has failed: the sink's error() tells why after drain().
    bool push(const unsigned char* pixels, int width, int height);
    // Waits until every queued frame is written; false when a write failed.
    bool drain();

    // Seconds the worker spent in the sink's write, and push() spent waiting for room.
    double encodeSeconds() const;
    double waitSeconds() const;

private:
    struct Frame {
        std::vector<unsigned char> pixels;
        int width = 0, height = 0;
    };
    void run();

    FrameOutput* sink_;
    size_t depth_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Frame> queued_;
    std::vector<std::vector<unsigned char>> spare_;  // buffers of written frames, reused
    bool writing_ = false, failed_ = false, stop_ = false;
    double encodeSeconds_ = 0.0, waitSeconds_ = 0.0;
    std::thread worker_;
};

}  // namespace offline
