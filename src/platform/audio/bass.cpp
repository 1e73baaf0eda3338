#include "platform/audio/bass.h"

#include <SDL/SDL.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "log.h"
#include "platform/audio/alsa_quiet.h"
#include "platform/audio/decode.h"
#include "platform/audio/mix.h"
#include "platform/audio/offline.h"
#include "platform/audio/output.h"
#include "platform/audio/position_estimator.h"
#include "platform/system.h"

namespace {

constexpr int kMaxStreams = 64;
constexpr Uint16 kDeviceFrames = 1024;  // one device buffer, about 23 ms
constexpr QWORD kAllOnes = ~QWORD(0);

struct Stream {
    bool used = false;
    int16_t* samples = nullptr;  // frames * 2
    int64_t frames = 0;
    DWORD flags = 0;
    float volume = 1.0f;
    bool playing = false;
    // Offline clock, and the device's position while not playing: the frame heard next.
    int64_t position = 0;
    // Device only. readFrame: the next frame handed to the device. passStart and
    // previousPassStart: the count of handed frames at which frame 0 of the current and
    // the previous pass (loops) was handed; negative when play resumed mid-stream.
    int64_t readFrame = 0;
    int64_t handed = 0;
    int64_t passStart = 0;
    int64_t previousPassStart = 0;
    bool fed = false;  // every frame of a non-looping stream has been handed
    bool paused = false;
    // The output frame that carried the first handed frame: handed frames go out one
    // after the other from there, so the frames heard are the output frame leaving the
    // device minus this, whatever else the output has queued.
    bool started = false;
    int64_t outputStart = 0;
    audio::PositionEstimator heard;
    // Silent output: the time (nowSeconds) at which frame 0 of the current pass was
    // heard, had it played from there without a break.
    double silentOrigin = 0.0;
};

// The device callback runs on SDL's audio thread; every access to the table goes
// through this lock.
std::mutex g_lock;
Stream g_streams[kMaxStreams];
bool g_offline = false;
bool g_initialised = false;
bool g_deviceOpen = false;  // the SDL output
bool g_pulseOpen = false;   // the libpulse output
// No device: nothing plays, and the position is the wall clock's since play, so a slow
// frame sees it skip ahead and it never falls behind (no output thread to starve).
bool g_silent = false;
bool g_preferSdl = false;
bool g_externalOutput = false;
int64_t g_outputFrames = 0;  // frames rendered for the output since it opened
// SDL output: frames still in the device when it asks for more.
int64_t g_queuedAtCallback = 0;
char g_driver[64] = "";

double nowSeconds() {
    int64_t frequency = 1, count = 0;
    platform::performanceFrequency(&frequency);
    platform::performanceCounter(&count);
    return double(count) / double(frequency);
}

Stream* lookup(DWORD handle) {
    if (handle == 0 || handle > DWORD(kMaxStreams)) return nullptr;
    Stream* stream = &g_streams[handle - 1];
    return stream->used ? stream : nullptr;
}

bool looping(const Stream& s) { return (s.flags & BASS_SAMPLE_LOOP) != 0; }

// Silent output: the frame of a playing stream at `now`; the end stops it.
int64_t silentFrame(Stream& s, double now) {
    double frames = std::floor((now - s.silentOrigin) * audio::kOutputRate + 1e-6);
    int64_t frame = frames < 0.0 ? 0 : int64_t(frames);
    if (frame >= s.frames) {
        if (looping(s) && s.frames > 0) {
            // The pass that is heard now starts at frame 0 again.
            int64_t passes = frame / s.frames;
            s.silentOrigin += double(passes * s.frames) / audio::kOutputRate;
            return frame - passes * s.frames;
        }
        s.playing = false;
        s.position = s.frames;
        return s.frames;
    }
    return frame;
}

// Silent output: the stream is heard at `frame` from `now` on.
void silentStartAt(Stream& s, int64_t frame, double now) {
    s.silentOrigin = now - double(frame) / audio::kOutputRate;
}

// The frame of the stream the listener hears now (0..frames). Stops a device stream
// whose last frame has been heard.
int64_t currentFrame(Stream& s, double now) {
    if (g_offline || !s.playing) return s.position;
    if (g_silent) return silentFrame(s, now);
    int64_t heard = s.heard.position(now);
    int64_t frame = heard >= s.passStart ? heard - s.passStart : heard - s.previousPassStart;
    if (frame < 0) frame = 0;
    if (frame > s.frames) frame = s.frames;
    if (s.fed && s.heard.drained(now)) {
        s.playing = false;
        s.position = s.frames;
        return s.frames;
    }
    return frame;
}

// The output frame at which the mix block starts: `outputFrame`.
void mixInto(Stream& s, int32_t* mix, int frames, int64_t outputFrame) {
    if (!s.started) {
        s.started = true;
        s.outputStart = outputFrame;
    }
    int done = 0;
    while (done < frames && !s.fed) {
        int64_t take = s.frames - s.readFrame;
        if (take > frames - done) take = frames - done;
        audio::mixAdd(mix + done * 2, s.samples + s.readFrame * 2, take * 2, s.volume);
        done += int(take);
        s.readFrame += take;
        s.handed += take;
        if (s.readFrame == s.frames) {
            if (looping(s)) {
                s.previousPassStart = s.passStart;
                s.passStart = s.handed;
                s.readFrame = 0;
            } else {
                s.fed = true;
            }
        }
    }
}

// Lock held. The output frame `frame` leaves the device at `now`.
void observe(double now, int64_t frame) {
    for (Stream& s : g_streams)
        if (s.used && s.playing && s.started) s.heard.onCallback(now, frame - s.outputStart, s.handed);
}

// SDL asks for the next buffer while g_queuedAtCallback frames are still to be heard.
void deviceCallback(void*, Uint8* out, int bytes) {
    double now = nowSeconds();
    int frames = bytes / audio::kBytesPerFrame;
    audio::renderOutput(reinterpret_cast<int16_t*>(out), frames);
    std::lock_guard<std::mutex> guard(g_lock);
    observe(now, g_outputFrames - frames - g_queuedAtCallback);
}

// Main thread only; never with the lock held (SDL_CloseAudio waits for a running
// callback, which takes the lock).
void closeDevice() {
    if (g_deviceOpen) {
        SDL_CloseAudio();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        g_deviceOpen = false;
    }
    if (g_pulseOpen) {
        audio::pulseOutputClose();
        g_pulseOpen = false;
    }
    g_silent = false;
    g_initialised = false;
    g_driver[0] = '\0';
    std::lock_guard<std::mutex> guard(g_lock);
    for (Stream& s : g_streams) s.playing = false;
}

char g_openError[256] = "";

// exit() without SDL_Quit (a fatal box, a test's child) would destroy the streams while
// an output thread still mixes them: close the output first. Handlers run before the
// destructors of the globals above, which were registered earlier.
void closeAtExit() {
    static bool registered = false;
    if (!registered) registered = atexit(closeDevice) == 0;
}

// Why the last openDevice failed, kept before SDL_QuitSubSystem clears SDL's error.
void keepOpenError(const char* stage) {
    const char* error = SDL_GetError();
    snprintf(g_openError, sizeof g_openError, "%s: %s", stage, error && error[0] ? error : "no device");
}

SDL_AudioSpec wantedSpec() {
    SDL_AudioSpec wanted;
    memset(&wanted, 0, sizeof wanted);
    wanted.freq = audio::kOutputRate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = 2;
    wanted.samples = kDeviceFrames;
    wanted.callback = deviceCallback;
    return wanted;
}

bool openDevice() {
    g_outputFrames = 0;  // no output thread runs yet
    // Why no device opened is logged once, below; ALSA's library would say it in lines
    // of its own first.
    audio::quietAlsaErrors();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        keepOpenError("SDL_InitSubSystem");
        return false;
    }
    // The buffer size SDL really took sets the queue. Another format than ours (a card
    // that wants 48000 Hz, say): reopened without asking what it obtained, SDL converts, and the
    // buffer is taken to be the one asked for.
    SDL_AudioSpec wanted = wantedSpec(), obtained;
    memset(&obtained, 0, sizeof obtained);
    bool opened = SDL_OpenAudio(&wanted, &obtained) == 0;
    if (opened && (obtained.freq != audio::kOutputRate || obtained.format != AUDIO_S16SYS ||
                   obtained.channels != 2 || obtained.samples == 0)) {
        SDL_CloseAudio();
        wanted = wantedSpec();
        obtained = wantedSpec();
        opened = SDL_OpenAudio(&wanted, nullptr) == 0;
    }
    if (!opened) {
        keepOpenError("SDL_OpenAudio");
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    const char* name = SDL_AudioDriverName(g_driver, sizeof g_driver) ? g_driver : "";
    if (name[0] == '\0') snprintf(g_driver, sizeof g_driver, "unknown");
    // The dummy driver asks when its buffer has been "played"; a sound card asks while
    // the previous buffer is still playing.
    g_queuedAtCallback = strcmp(g_driver, "dummy") == 0 ? 0 : obtained.samples;
    g_deviceOpen = true;
    closeAtExit();
    SDL_PauseAudio(0);  // the callback runs from now on, in silence while nothing plays
    return true;
}

// No device: the silent output, named as SDL's silent driver was.
void openSilent() {
    g_silent = true;
    snprintf(g_driver, sizeof g_driver, "dummy");
}

// The libpulse output, where SDL would take PulseAudio too: SDL_AUDIODRIVER unset or
// naming it. Without a server (or the library) SDL opens the device as before.
bool openPulse() {
    if (g_preferSdl) return false;
    const char* driver = getenv("SDL_AUDIODRIVER");
    if (driver && driver[0] && strcmp(driver, "pulseaudio") != 0 && strcmp(driver, "pulse") != 0)
        return false;
    g_outputFrames = 0;  // no output thread runs yet
    char why[256];
    if (!audio::pulseOutputOpen(why, sizeof why)) return false;
    snprintf(g_driver, sizeof g_driver, "pulseaudio");
    g_pulseOpen = true;
    closeAtExit();
    return true;
}

}  // namespace

namespace audio {

void useOfflineClock(bool offline) {
    if (offline == g_offline) return;
    closeDevice();
    g_offline = offline;
}

bool offlineClock() { return g_offline; }

const char* outputDriver() { return g_driver; }

void preferSdlOutput(bool sdl) { g_preferSdl = sdl; }

void useExternalOutput(bool external) {
    if (external == g_externalOutput) return;
    closeDevice();
    g_externalOutput = external;
}

void renderOutput(int16_t* out, int frames) {
    int32_t mix[kDeviceFrames * 2 * 4];
    std::lock_guard<std::mutex> guard(g_lock);
    for (int start = 0; start < frames;) {
        int count = frames - start;
        if (count > int(sizeof mix / sizeof mix[0] / 2)) count = int(sizeof mix / sizeof mix[0] / 2);
        memset(mix, 0, sizeof(int32_t) * 2 * size_t(count));
        for (Stream& s : g_streams)
            if (s.used && s.playing) mixInto(s, mix, count, g_outputFrames);
        mixStore(out + start * 2, mix, count * 2);
        g_outputFrames += count;
        start += count;
    }
}

void observeOutput(double ageSeconds, int64_t frame) {
    double now = nowSeconds() - ageSeconds;
    std::lock_guard<std::mutex> guard(g_lock);
    observe(now, frame);
}

namespace {
void advanceOffline(Stream& s, int64_t to) {
    if (to < 0) to = 0;
    if (to >= s.frames) {
        if (looping(s) && s.frames > 0) {
            to %= s.frames;
        } else {
            to = s.frames;
            s.playing = false;
        }
    }
    s.position = to;
}
}  // namespace

void offlineAdvanceBytes(QWORD bytes) {
    std::lock_guard<std::mutex> guard(g_lock);
    if (!g_offline) return;
    for (Stream& s : g_streams)
        if (s.used && s.playing) advanceOffline(s, s.position + int64_t(bytes / kBytesPerFrame));
}

void offlineSetSeconds(double seconds) {
    std::lock_guard<std::mutex> guard(g_lock);
    if (!g_offline) return;
    int64_t frame = int64_t(std::floor(seconds * kOutputRate + 1e-6));
    for (Stream& s : g_streams)
        if (s.used && s.playing) advanceOffline(s, frame);
}

}  // namespace audio

DWORD BASS_GetVersion() { return 0x02040000; }

// Main thread only, like every set-up call: the device thread reads only the stream table.
BOOL BASS_Init(int device, DWORD freq, DWORD, void*, void*) {
    if (g_initialised) return TRUE;
    if (freq != DWORD(audio::kOutputRate) || device < -1) {
        logLine("Audio output: only the default device at %i Hz is offered\n", audio::kOutputRate);
        return FALSE;
    }
    if (g_offline) {
        snprintf(g_driver, sizeof g_driver, "offline");
        g_initialised = true;
        logLine("Audio output: offline clock, nothing plays\n");
        return TRUE;
    }
    if (g_externalOutput) {
        snprintf(g_driver, sizeof g_driver, "external");
        g_outputFrames = 0;
        g_initialised = true;
        return TRUE;
    }
    if (openPulse()) {
        g_initialised = true;
        return TRUE;
    }
    // SDL's own silent driver paces its thread by sleeping one buffer after another, so
    // on a busy machine its frames, and the position with them, fall behind the clock.
    // The silent output here takes the clock itself.
    const char* driver = getenv("SDL_AUDIODRIVER");
    if (driver && strcmp(driver, "dummy") == 0) {
        openSilent();
        logLine("Audio output: silent \"dummy\" driver, playing on the real clock\n");
    } else if (!openDevice()) {
        openSilent();
        logLine("Audio output: no sound device (%s), playing silently on the real clock\n",
                g_openError);
    }
    g_initialised = true;
    return TRUE;
}

HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags) {
    if (!mem || !file) {
        logLine("Audio stream: only streams from memory are offered\n");
        return 0;
    }
    audio::DecodedAudio decoded;
    if (!audio::decodeStream(static_cast<const unsigned char*>(file) + offset, size_t(length),
                             &decoded))
        return 0;
    std::lock_guard<std::mutex> guard(g_lock);
    for (int i = 0; i < kMaxStreams; ++i) {
        Stream& s = g_streams[i];
        if (s.used) continue;
        s = Stream();
        s.used = true;
        s.samples = decoded.samples;
        s.frames = decoded.frames;
        s.flags = flags;
        return HSTREAM(i + 1);
    }
    logLine("Audio stream: more than %i streams\n", kMaxStreams);
    free(decoded.samples);
    return 0;
}

BOOL BASS_StreamFree(HSTREAM handle) {
    std::lock_guard<std::mutex> guard(g_lock);
    Stream* s = lookup(handle);
    if (!s) return FALSE;
    free(s->samples);
    *s = Stream();
    return TRUE;
}

QWORD BASS_ChannelGetLength(DWORD handle, DWORD mode) {
    std::lock_guard<std::mutex> guard(g_lock);
    Stream* s = lookup(handle);
    if (!s || mode != BASS_POS_BYTE) return kAllOnes;
    return QWORD(s->frames) * audio::kBytesPerFrame;
}

double BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos) {
    std::lock_guard<std::mutex> guard(g_lock);
    if (!lookup(handle)) return -1.0;
    return double(pos / audio::kBytesPerFrame) / audio::kOutputRate;
}

BOOL BASS_ChannelSetAttribute(DWORD handle, DWORD attrib, float value) {
    std::lock_guard<std::mutex> guard(g_lock);
    Stream* s = lookup(handle);
    if (!s || attrib != BASS_ATTRIB_VOL || !(value >= 0.0f)) return FALSE;
    s->volume = value;
    return TRUE;
}

DWORD BASS_ChannelFlags(DWORD handle, DWORD flags, DWORD mask) {
    std::lock_guard<std::mutex> guard(g_lock);
    Stream* s = lookup(handle);
    if (!s) return DWORD(kAllOnes);
    s->flags = (s->flags & ~mask) | (flags & mask);
    return s->flags;
}

BOOL BASS_ChannelPlay(DWORD handle, BOOL restart) {
    std::lock_guard<std::mutex> guard(g_lock);
    Stream* s = lookup(handle);
    if (!s || !g_initialised) return FALSE;
    if (s->playing && !restart) return TRUE;
    if (restart || s->position >= s->frames) s->position = 0;
    s->playing = true;
    s->paused = false;
    s->readFrame = s->position;
    s->handed = 0;
    s->passStart = -s->position;
    s->previousPassStart = s->passStart;
    s->fed = false;
    s->started = false;
    s->heard.reset();
    if (g_silent) silentStartAt(*s, s->position, nowSeconds());
    return TRUE;
}

DWORD BASS_ChannelIsActive(DWORD handle) {
    std::lock_guard<std::mutex> guard(g_lock);
    Stream* s = lookup(handle);
    if (!s) return BASS_ACTIVE_STOPPED;
    if (s->playing) currentFrame(*s, nowSeconds());
    if (s->playing) return BASS_ACTIVE_PLAYING;
    return s->paused ? BASS_ACTIVE_PAUSED : BASS_ACTIVE_STOPPED;
}

BOOL BASS_ChannelPause(DWORD handle) {
    std::lock_guard<std::mutex> guard(g_lock);
    Stream* s = lookup(handle);
    if (!s || !s->playing) return FALSE;
    s->position = currentFrame(*s, nowSeconds());
    // The stream may have ended in that very query.
    if (!s->playing) return FALSE;
    s->playing = false;
    s->paused = true;
    return TRUE;
}

BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode) {
    std::lock_guard<std::mutex> guard(g_lock);
    Stream* s = lookup(handle);
    if (!s || mode != BASS_POS_BYTE) return FALSE;
    int64_t frame = int64_t(pos / audio::kBytesPerFrame);
    if (frame > s->frames) frame = s->frames;
    if (s->playing && g_offline) {
        audio::advanceOffline(*s, frame);
        return TRUE;
    }
    s->position = frame;
    if (s->playing && g_silent) {
        silentStartAt(*s, frame, nowSeconds());
        return TRUE;
    }
    if (s->playing) {
        // As a fresh start at that frame: the estimator answers from the next callback on.
        s->readFrame = frame;
        s->handed = 0;
        s->passStart = -frame;
        s->previousPassStart = s->passStart;
        s->fed = false;
        s->started = false;  // the next render re-bases the stream on the output
        s->heard.reset();
    }
    return TRUE;
}

QWORD BASS_ChannelGetPosition(DWORD handle, DWORD mode) {
    std::lock_guard<std::mutex> guard(g_lock);
    Stream* s = lookup(handle);
    if (!s || mode != BASS_POS_BYTE) return kAllOnes;
    return QWORD(currentFrame(*s, nowSeconds())) * audio::kBytesPerFrame;
}

DWORD BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length) {
    std::lock_guard<std::mutex> guard(g_lock);
    Stream* s = lookup(handle);
    if (!s || !buffer) return DWORD(kAllOnes);
    bool asFloat = (length & BASS_DATA_FLOAT) != 0;
    DWORD bytes = length & ~DWORD(BASS_DATA_FLOAT);
    if (bytes > 0x0fffffff) return DWORD(kAllOnes);  // FFT and other requests are not offered
    size_t valueSize = asFloat ? sizeof(float) : sizeof(int16_t);
    size_t values = bytes / valueSize;
    int64_t first = currentFrame(*s, nowSeconds()) * 2;
    for (size_t i = 0; i < values; ++i) {
        int64_t index = first + int64_t(i);
        int16_t v = index < s->frames * 2 ? s->samples[index] : 0;
        if (asFloat)
            static_cast<float*>(buffer)[i] = v < -32767 ? -1.0f : float(v) / 32767.0f;
        else
            static_cast<int16_t*>(buffer)[i] = v;
    }
    return DWORD(values * valueSize);
}
