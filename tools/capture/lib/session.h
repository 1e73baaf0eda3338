// The production played offline: the demo's start-up without the setup dialog and
// without a sound device, on virtual time. The audio layer's offline clock holds the
// music position, a virtual counter drives the frame timer and a fixed tick count seeds
// the random generator, so a frame depends only on its number and the options.
#pragma once

#include <GL/glew.h>

#include <cstdint>
#include <memory>
#include <string>

#include "options.h"
#include "platform/system.h"
#include "util/util/virtual_clock.h"

class ReplayCache;

class SceneManager;

namespace offline {

// SDL video, a window of the given size (not what is captured), the OpenGL attributes
// of the demo with `samples` multisamples and the swap interval, glewInit, and the
// extensions the offline path needs. Every failure is fatal.
void openWindow(int width, int height, int samples, int swapInterval, const char* caption);

// Why a capture size cannot be rendered here ("" when it can): the renderbuffer,
// viewport and texture limits of the GL implementation, and the sample count.
std::string sizeRefusal(int width, int height, int samples);

// The off-screen frame: a framebuffer object of the capture size (multisampled when
// samples > 0, resolved into a single-sample one) and two pixel buffer objects, so the
// pixels of frame n are read while frame n + 1 renders.
class CaptureTarget {
public:
    CaptureTarget(int width, int height, int samples);
    ~CaptureTarget();
    CaptureTarget(const CaptureTarget&) = delete;
    CaptureTarget& operator=(const CaptureTarget&) = delete;

    // New storage of the new size; reads already queued keep their own size.
    void resize(int width, int height);
    // Draw and read framebuffer = the frame's; call before each frame of the manager
    // (after its resize, which binds the window's framebuffer).
    void bind();
    // After a frame: resolves the samples and starts reading into slot (0 or 1).
    void queueRead(int slot);
    // Waits for the slot's read and maps it: RGBA rows, bottom row first, width * 4
    // bytes apart. unmap() before the slot is queued again.
    const unsigned char* map(int slot, int* width, int* height);
    void unmap(int slot);

    int width() const { return width_; }
    int height() const { return height_; }
    int samples() const { return samples_; }
    GLuint drawFramebuffer() const { return samples_ > 0 ? msFramebuffer_ : framebuffer_; }
    GLuint readFramebuffer() const { return framebuffer_; }

private:
    void allocate();
    void release();

    int width_, height_, samples_;
    GLuint framebuffer_ = 0, colour_ = 0, depth_ = 0;
    GLuint msFramebuffer_ = 0, msColour_ = 0, msDepth_ = 0;
    GLuint pixelBuffers_[2] = {0, 0};
    long bufferBytes_[2] = {0, 0};
    int slotWidth_[2] = {0, 0}, slotHeight_[2] = {0, 0};
};

struct ProductionOptions {
    std::string archive;  // data.mvt to read in archive mode
    Rate rate;
    uint32_t seed = 1;
};

// The demo's start-up steps from the data layer on: data mode (FESTOONERY_DATA as the
// demo reads it; the archive comes from options.archive), the offline clock, the
// virtual clock, the scene manager, its resize and start. Start-up's own failures are
// fatal, as in the demo.
class Production {
public:
    Production(const ProductionOptions& options, int width, int height);
    // Destroys the manager (its scenes) and gives the engine back the real clock.
    ~Production();
    Production(const Production&) = delete;
    Production& operator=(const Production&) = delete;

    // The music keeps playing past its end: the stream loops and the beat clock carries
    // on upward through its wrap compensation (soak runs).
    void loopMusic();
    // Music position n / rate, the frame timer one step on (the first frame drawn is one
    // frame after the timer's start, whatever its number), the frame drawn into the
    // target (or the bound framebuffer when null), then the events it pushed taken
    // (the quit event at the end of the music is counted, not obeyed).
    void drawFrame(int64_t frame, CaptureTarget* target);
    // Frames [0, frame) advanced without drawing, as drawFrame would advance them, so
    // that drawing goes on from `frame` exactly as a run drawn from 0. Only before the
    // first frame drawn or simulated; nothing when frame is 0.
    void fastForward(int64_t frame);
    // One frame as drawFrame advances it, without drawing.
    void simulateFrame(int64_t frame);
    // The frame last drawn or simulated drawn (again) into the target, advancing nothing:
    // simulateFrame(n) then redrawFrame draws what drawFrame(n) draws.
    void redrawFrame(CaptureTarget* target);
    // Back to beat 0 (scenes as init left them, the generator seeded again, the frame
    // timer and the beat clock new), then fastForward(frame): the state at any frame
    // rebuilt at any time, as a seek does.
    void seek(int64_t frame);
    // One replay of frames [0, frames) that keeps a state every `interval` frames; later
    // seeks restore the nearest one before their frame and simulate from there, with the
    // same result. The run is left at frame `frames`.
    void keepStates(int64_t frames, int64_t interval);
    // Kept states and the bytes of scene state they hold (0 without keepStates).
    size_t keptStates() const;
    size_t keptBytes() const;
    // The manager and the target follow a new size, as on a window resize event.
    void resize(int width, int height, CaptureTarget* target);

    float bpm() const;
    // The soundtrack's length in seconds, from its frame count.
    double lengthSeconds() const;
    // Quit events the manager pushed since the start.
    int quitEvents() const { return quitEvents_; }

    // Appends the soundtrack's frames [firstFrame, firstFrame + frames) as 16-bit stereo
    // at 44100 Hz to out (frames past the end are silence). Moves the music position:
    // call before the first drawFrame.
    template <class Sink>
    void readSoundtrack(int64_t firstFrame, int64_t frames, Sink&& sink);

    SceneManager* manager = nullptr;
    const ProductionOptions options;

private:
    void readSoundtrackChunk(int64_t first, int count, int16_t* out);

    VirtualClock clock_;
    std::unique_ptr<ReplayCache> cache_;
    bool drawn_ = false;
    int quitEvents_ = 0;
};

template <class Sink>
void Production::readSoundtrack(int64_t firstFrame, int64_t frames, Sink&& sink) {
    constexpr int kChunk = 4096;
    static int16_t buffer[kChunk * 2];
    for (int64_t done = 0; done < frames;) {
        int count = frames - done < kChunk ? int(frames - done) : kChunk;
        readSoundtrackChunk(firstFrame + done, count, buffer);
        sink(buffer, count);
        done += count;
    }
}

// Resident set size of this process now and at its peak, in bytes (0 when unknown).
int64_t residentBytes();
int64_t peakResidentBytes();

}  // namespace offline
