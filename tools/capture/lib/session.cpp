#include "session.h"

#include <SDL.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "log.h"
#include "platform/audio/decode.h"
#include "platform/audio/offline.h"
#include "scenes/replay.h"
#include "scenes/scenemanager.h"
#include "util/data/data.h"
#include "util/music/music.h"
#include "util/util/random.h"
#include "util/util/util.h"

namespace offline {

void openWindow(int width, int height, int samples, int swapInterval, const char* caption) {
    if (SDL_Init(SDL_INIT_VIDEO) < 0) FATAL("Video initialization failed: %s\n", SDL_GetError());
    // SDL turns SIGINT and SIGTERM into quit events, which an offline run does not obey
    // (the music's end pushes them too): Ctrl-C and kill end these programs as usual.
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, samples > 0 ? 1 : 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, samples > 0 ? samples : 0);
    SDL_GL_SetAttribute(SDL_GL_SWAP_CONTROL, swapInterval);
    if (!SDL_SetVideoMode(width, height, 0, SDL_OPENGL))
        FATAL("Video mode set failed: %s\n", SDL_GetError());
    SDL_WM_SetCaption(caption, nullptr);
    GLenum glew = glewInit();
    if (glew != GLEW_OK) FATAL("GLEW Error: %s\n", glewGetErrorString(glew));
    if (!GLEW_VERSION_3_0 && !GLEW_ARB_framebuffer_object)
        FATAL("Offline rendering needs framebuffer objects with blits (OpenGL 3.0 or "
              "GL_ARB_framebuffer_object)\n");
    if (!GLEW_VERSION_2_1 && !GLEW_ARB_pixel_buffer_object)
        FATAL("Offline rendering needs pixel buffer objects (OpenGL 2.1 or GL_ARB_pixel_buffer_object)\n");
    logLine("OpenGL: %s, %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)),
            reinterpret_cast<const char*>(glGetString(GL_VERSION)));
    CHECK_GL();
}

std::string sizeRefusal(int width, int height, int samples) {
    GLint renderbuffer = 0, texture = 0, viewport[2] = {0, 0}, maxSamples = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbuffer);
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &texture);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
    glGetIntegerv(GL_MAX_SAMPLES, &maxSamples);
    char why[256] = "";
    if (width > renderbuffer || height > renderbuffer)
        snprintf(why, sizeof why, "%ix%i is larger than the renderbuffer limit %i", width, height, renderbuffer);
    else if (width > texture || height > texture)
        snprintf(why, sizeof why, "%ix%i is larger than the texture limit %i", width, height, texture);
    else if (width > viewport[0] || height > viewport[1])
        snprintf(why, sizeof why, "%ix%i is larger than the viewport limit %ix%i", width, height, viewport[0],
                 viewport[1]);
    else if (samples > maxSamples)
        snprintf(why, sizeof why, "%i samples asked, this OpenGL offers at most %i", samples, maxSamples);
    return why;
}

CaptureTarget::CaptureTarget(int width, int height, int samples)
    : width_(width), height_(height), samples_(samples) {
    glGenBuffers(2, pixelBuffers_);
    allocate();
}

CaptureTarget::~CaptureTarget() {
    release();
    glDeleteBuffers(2, pixelBuffers_);
}

void CaptureTarget::allocate() {
    GLint previousDraw = 0, previousRead = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &previousDraw);
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &previousRead);
    auto make = [&](GLuint* fb, GLuint* colour, GLuint* depth, int samples) {
        glGenFramebuffers(1, fb);
        glBindFramebuffer(GL_FRAMEBUFFER, *fb);
        glGenRenderbuffers(1, colour);
        glBindRenderbuffer(GL_RENDERBUFFER, *colour);
        glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_RGBA8, width_, height_);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, *colour);
        if (depth) {
            glGenRenderbuffers(1, depth);
            glBindRenderbuffer(GL_RENDERBUFFER, *depth);
            glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_DEPTH24_STENCIL8, width_, height_);
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, *depth);
        }
        GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
        if (status != GL_FRAMEBUFFER_COMPLETE)
            FATAL("Capture framebuffer %ix%i (%i samples) is incomplete: 0x%x\n", width_, height_, samples,
                  unsigned(status));
    };
    // The single-sample one is drawn into directly when there are no samples, so it
    // needs the depth buffer itself then.
    make(&framebuffer_, &colour_, samples_ > 0 ? nullptr : &depth_, 0);
    if (samples_ > 0) make(&msFramebuffer_, &msColour_, &msDepth_, samples_);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, GLuint(previousDraw));
    glBindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(previousRead));
    CHECK_GL();
}

void CaptureTarget::release() {
    GLuint framebuffers[2] = {framebuffer_, msFramebuffer_};
    GLuint renderbuffers[4] = {colour_, depth_, msColour_, msDepth_};
    glDeleteFramebuffers(2, framebuffers);
    glDeleteRenderbuffers(4, renderbuffers);
    framebuffer_ = colour_ = depth_ = msFramebuffer_ = msColour_ = msDepth_ = 0;
}

void CaptureTarget::resize(int width, int height) {
    if (width == width_ && height == height_) return;
    release();
    width_ = width;
    height_ = height;
    allocate();
}

void CaptureTarget::bind() { glBindFramebuffer(GL_FRAMEBUFFER, drawFramebuffer()); }

void CaptureTarget::queueRead(int slot) {
    if (samples_ > 0) {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, msFramebuffer_);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffer_);
        glBlitFramebuffer(0, 0, width_, height_, 0, 0, width_, height_, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    }
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, pixelBuffers_[slot]);
    long bytes = long(width_) * height_ * 4;
    if (bytes != bufferBytes_[slot]) {
        glBufferData(GL_PIXEL_PACK_BUFFER, bytes, nullptr, GL_STREAM_READ);
        bufferBytes_[slot] = bytes;
    }
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    slotWidth_[slot] = width_;
    slotHeight_[slot] = height_;
    CHECK_GL();
}

const unsigned char* CaptureTarget::map(int slot, int* width, int* height) {
    glBindBuffer(GL_PIXEL_PACK_BUFFER, pixelBuffers_[slot]);
    void* pixels = glMapBuffer(GL_PIXEL_PACK_BUFFER, GL_READ_ONLY);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    if (!pixels) FATAL("Mapping the pixels of a captured frame failed (0x%x)\n", glGetError());
    *width = slotWidth_[slot];
    *height = slotHeight_[slot];
    return static_cast<const unsigned char*>(pixels);
}

void CaptureTarget::unmap(int slot) {
    glBindBuffer(GL_PIXEL_PACK_BUFFER, pixelBuffers_[slot]);
    glUnmapBuffer(GL_PIXEL_PACK_BUFFER);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    CHECK_GL();
}

Production::Production(const ProductionOptions& opts, int width, int height)
    : options(opts), clock_(opts.rate, opts.seed) {
    if (!options.archive.empty()) {
        selectStartupDataMode();
        // Recording packs a new archive for the demo; an offline run only reads.
        if (dataMode() == Record) setDataMode(Disk);
        if (dataMode() == Archive) readArchiveFile(options.archive.c_str());
    }
    audio::useOfflineClock(true);
    platform::setClockSource(&clock_);
    resetFrameTimer();
    // A second production in one process (tests) starts its beat clock afresh.
    beatWrapState() = BeatWrapState{0.0f, 0.0f};
    // The scenes' init draws from the generator as a fresh process does (seeded with 1
    // until the manager seeds it), whatever ran before in this process.
    seedRandom(1);
    manager = new SceneManager();
    writeDatafile();
    manager->resize(width, height);
    CHECK_GL();
    manager->start();
    CHECK_GL();
}

Production::~Production() {
    delete manager;
    platform::setClockSource(nullptr);
}

void Production::loopMusic() { BASS_ChannelFlags(manager->music->stream, BASS_SAMPLE_LOOP, BASS_SAMPLE_LOOP); }

void Production::fastForward(int64_t frame) {
    if (drawn_) FATAL("fastForward(%lld) after the first frame\n", static_cast<long long>(frame));
    for (int64_t n = 0; n < frame; ++n) simulateFrame(n);
}

void Production::simulateFrame(int64_t frame) {
    if (!drawn_) clock_.setOrigin(frame);
    drawn_ = true;
    clock_.setFrame(frame);
    audio::offlineSetSeconds(frameSeconds(options.rate, frame));
    manager->simulateFrame();
}

void Production::seek(int64_t frame) {
    if (BASS_ChannelIsActive(manager->music->stream) != BASS_ACTIVE_PLAYING)
        BASS_ChannelPlay(manager->music->stream, TRUE);
    auto positionMusic = [this](int64_t n) { audio::offlineSetSeconds(frameSeconds(options.rate, n)); };
    if (cache_) {
        cache_->replayTo(manager, &clock_, frame, positionMusic);
    } else {
        replayFromStart(manager, &clock_, frame, positionMusic);
    }
    drawn_ = true;  // the next frame drawn continues the timer from frame - 1
}

void Production::keepStates(int64_t frames, int64_t interval) {
    if (BASS_ChannelIsActive(manager->music->stream) != BASS_ACTIVE_PLAYING)
        BASS_ChannelPlay(manager->music->stream, TRUE);
    cache_ = std::make_unique<ReplayCache>(interval);
    cache_->build(manager, &clock_, frames,
                  [this](int64_t n) { audio::offlineSetSeconds(frameSeconds(options.rate, n)); });
    drawn_ = true;
}

size_t Production::keptStates() const { return cache_ ? cache_->count() : 0; }

size_t Production::keptBytes() const { return cache_ ? cache_->bytes() : 0; }

void Production::drawFrame(int64_t frame, CaptureTarget* target) {
    if (!drawn_) clock_.setOrigin(frame);
    drawn_ = true;
    clock_.setFrame(frame);
    audio::offlineSetSeconds(frameSeconds(options.rate, frame));
    if (target) target->bind();
    manager->frame();
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_QUIT) ++quitEvents_;
    }
}

void Production::redrawFrame(CaptureTarget* target) {
    if (target) target->bind();
    manager->redrawFrame();
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_QUIT) ++quitEvents_;
    }
}

void Production::resize(int width, int height, CaptureTarget* target) {
    manager->resize(width, height);
    if (target) target->resize(width, height);
}

float Production::bpm() const { return manager->music->bpm; }

double Production::lengthSeconds() const {
    return double(manager->music->lengthBytes / audio::kBytesPerFrame) / audio::kOutputRate;
}

void Production::readSoundtrackChunk(int64_t first, int count, int16_t* out) {
    int64_t total = int64_t(manager->music->lengthBytes / audio::kBytesPerFrame);
    if (first >= total) {
        memset(out, 0, sizeof(int16_t) * 2 * size_t(count));
        return;
    }
    // The position is only ever put before the end, so the stream never stops here.
    audio::offlineSetSeconds((double(first) + 0.25) / audio::kOutputRate);
    BASS_ChannelGetData(manager->music->stream, out, DWORD(count) * audio::kBytesPerFrame);
}

namespace {
// A "Vm...:  1234 kB" line of /proc/self/status, in bytes.
int64_t statusKilobytes(const char* key) {
    FILE* f = fopen("/proc/self/status", "r");
    if (!f) return 0;
    char line[256];
    int64_t value = 0;
    size_t keyLength = strlen(key);
    while (fgets(line, sizeof line, f)) {
        if (strncmp(line, key, keyLength) == 0 && line[keyLength] == ':') {
            value = atoll(line + keyLength + 1) * 1024;
            break;
        }
    }
    fclose(f);
    return value;
}
}  // namespace

int64_t residentBytes() { return statusKilobytes("VmRSS"); }
int64_t peakResidentBytes() { return statusKilobytes("VmHWM"); }

}  // namespace offline
