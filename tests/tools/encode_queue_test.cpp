// Frames handed to the encoding thread reach the output whole and in order, and a failed
// write stops the queue.
#include "lib/encode_queue.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Keeps the first byte of every frame; fails the write of frame `failAt` (-1: never).
class Recorder : public offline::FrameOutput {
public:
    explicit Recorder(int failAt) : failAt_(failAt) {}
    bool write(const unsigned char* pixels, int width, int height) override {
        if (int(firsts.size()) == failAt_) {
            error_ = "disk full";
            return false;
        }
        firsts.push_back(pixels[0]);
        lasts.push_back(pixels[size_t(width) * height * 4 - 1]);
        return true;
    }
    bool finish() override { return true; }
    std::vector<unsigned char> firsts, lasts;

private:
    int failAt_;
};

TEST(EncodeQueue, WritesEveryFrameInOrderFromItsOwnCopy) {
    Recorder out(-1);
    {
        offline::EncodeQueue queue(&out, 2);
        std::vector<unsigned char> frame(4 * 3 * 2);
        for (int i = 0; i < 50; ++i) {
            frame.front() = static_cast<unsigned char>(i);
            frame.back() = static_cast<unsigned char>(200 - i);
            ASSERT_TRUE(queue.push(frame.data(), 3, 2));
            frame.front() = frame.back() = 255;  // the caller's buffer is reused at once
        }
        EXPECT_TRUE(queue.drain());
        EXPECT_GT(queue.encodeSeconds(), 0.0);
    }
    ASSERT_EQ(50u, out.firsts.size());
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(i, out.firsts[size_t(i)]);
        EXPECT_EQ(200 - i, out.lasts[size_t(i)]);
    }
}

TEST(EncodeQueue, AFailedWriteRefusesLaterFramesAndDrainReportsIt) {
    Recorder out(3);
    offline::EncodeQueue queue(&out, 1);
    unsigned char frame[4] = {1, 2, 3, 4};
    bool refused = false;
    for (int i = 0; i < 20 && !refused; ++i) refused = !queue.push(frame, 1, 1);
    EXPECT_TRUE(refused);
    EXPECT_FALSE(queue.drain());
    EXPECT_EQ(3u, out.firsts.size());
    EXPECT_EQ("disk full", out.error());
}

}  // namespace
