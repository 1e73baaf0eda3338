#include "platform/audio/output.h"

#ifdef FESTOONERY_HAVE_PULSE

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/audio/decode.h"
#include "platform/audio/pipewire_reports.h"

namespace audio {
namespace {

// What the stream asks the server to buffer in all (its queue and the sink's), and the
// least it hands over at a time. 93 ms rides out a busy machine's scheduling gaps; the
// position comes from the server's reports, so the size costs only start-up delay.
constexpr uint32_t kTargetFrames = 4096;
constexpr uint32_t kRequestFrames = 1024;

pa_threaded_mainloop* g_loop = nullptr;
pa_context* g_context = nullptr;
pa_stream* g_stream = nullptr;
bool g_timingPending = false;  // loop thread only
std::atomic<int> g_underflows{0};

// Loop thread only: the server is PipeWire's PulseAudio service, and its reports.
bool g_pipewire = false;
PipeWireReports g_reports(kOutputRate);

double clockSeconds(clockid_t clock) {
    timespec ts;
    clock_gettime(clock, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

void signalLoop(pa_context*, void*) { pa_threaded_mainloop_signal(g_loop, 0); }
void signalLoopStream(pa_stream*, void*) { pa_threaded_mainloop_signal(g_loop, 0); }

// A timing report: the stream's read index is the first byte the sink has not taken
// yet; the sink still holds sink_usec of what it took. Its stamp is wall-clock time on
// the server (the same machine), so its age is measured on the wall clock too.
// PulseAudio interpolates both figures to the report's stamp, so each report places the
// stream to a fraction of a millisecond.
//
// PipeWire's PulseAudio service reports otherwise: see pipewire_reports.h. Measured
// against the sink's monitor with a fixed quantum of 1024 frames (tests/e2e/pipewire_clock.sh).
void onTiming(pa_stream* stream, int success, void*) {
    g_timingPending = false;
    const pa_timing_info* info = success ? pa_stream_get_timing_info(stream) : nullptr;
    // Not playing: prebuffering at the start or after an underrun, the sink takes nothing.
    if (!info || info->read_index_corrupt || !info->playing) return;
    int64_t taken = info->read_index / kBytesPerFrame;
    int64_t inSink = int64_t(double(info->sink_usec) * 1e-6 * kOutputRate + 0.5);
    double stamp = double(info->timestamp.tv_sec) + double(info->timestamp.tv_usec) * 1e-6;
    double age = clockSeconds(CLOCK_REALTIME) - stamp;
    if (age < 0.0) age = 0.0;  // the stamp and our clock read on either side of a tick
    if (!g_pipewire) {
        observeOutput(age, taken - inSink);
        return;
    }
    double leftAgo = 0;
    int64_t leaving = 0;
    if (g_reports.observe(clockSeconds(CLOCK_MONOTONIC), age, taken, inSink, &leftAgo, &leaving))
        observeOutput(leftAgo, leaving);
}

void requestTiming(pa_stream* stream) {
    if (g_timingPending) return;
    pa_operation* op = pa_stream_update_timing_info(stream, onTiming, nullptr);
    if (!op) return;
    g_timingPending = true;
    pa_operation_unref(op);
}

// The server wants `bytes` more; each request is followed by a timing report, so the
// position is observed about as often as a sound card would call back.
void onWrite(pa_stream* stream, size_t bytes, void*) {
    while (bytes >= size_t(kBytesPerFrame)) {
        void* data = nullptr;
        size_t size = bytes;
        if (pa_stream_begin_write(stream, &data, &size) < 0 || !data) break;
        if (size > bytes) size = bytes;
        size -= size % kBytesPerFrame;
        if (size == 0) {
            pa_stream_cancel_write(stream);
            break;
        }
        renderOutput(static_cast<int16_t*>(data), int(size / kBytesPerFrame));
        if (pa_stream_write(stream, data, size, nullptr, 0, PA_SEEK_RELATIVE) < 0) break;
        bytes -= size;
    }
    requestTiming(stream);
}

// Waits (loop locked) until the context and the stream are ready or one has failed.
bool waitReady(char* why, size_t whySize) {
    for (;;) {
        pa_context_state_t context = pa_context_get_state(g_context);
        pa_stream_state_t stream = g_stream ? pa_stream_get_state(g_stream) : PA_STREAM_UNCONNECTED;
        if (!PA_CONTEXT_IS_GOOD(context) || (g_stream && !PA_STREAM_IS_GOOD(stream))) {
            snprintf(why, whySize, "PulseAudio: %s", pa_strerror(pa_context_errno(g_context)));
            return false;
        }
        if (context == PA_CONTEXT_READY && (!g_stream || stream == PA_STREAM_READY)) return true;
        pa_threaded_mainloop_wait(g_loop);
    }
}

void onServerInfo(pa_context*, const pa_server_info* info, void* done) {
    g_pipewire = info && info->server_name && strstr(info->server_name, "PipeWire");
    *static_cast<bool*>(done) = true;
    pa_threaded_mainloop_signal(g_loop, 0);
}

// Loop locked: whether the server is PipeWire's service ("PulseAudio (on PipeWire ...)").
bool askServerKind() {
    g_pipewire = false;
    g_reports.reset();
    bool done = false;
    pa_operation* op = pa_context_get_server_info(g_context, onServerInfo, &done);
    if (!op) return true;  // taken as PulseAudio
    while (!done && pa_operation_get_state(op) == PA_OPERATION_RUNNING) pa_threaded_mainloop_wait(g_loop);
    pa_operation_unref(op);
    return true;
}

bool connectStream(char* why, size_t whySize) {
    pa_sample_spec format{PA_SAMPLE_S16LE, uint32_t(kOutputRate), 2};
    g_stream = pa_stream_new(g_context, "Festoonery", &format, nullptr);
    if (!g_stream) {
        snprintf(why, whySize, "PulseAudio: %s", pa_strerror(pa_context_errno(g_context)));
        return false;
    }
    pa_stream_set_state_callback(g_stream, signalLoopStream, nullptr);
    pa_stream_set_write_callback(g_stream, onWrite, nullptr);
    // The server ran out of our frames and played silence: a gap in the sound.
    pa_stream_set_underflow_callback(
        g_stream, [](pa_stream*, void*) { g_underflows.fetch_add(1, std::memory_order_relaxed); }, nullptr);
    pa_buffer_attr attr;
    attr.maxlength = uint32_t(-1);
    attr.tlength = kTargetFrames * kBytesPerFrame;
    attr.prebuf = uint32_t(-1);
    attr.minreq = kRequestFrames * kBytesPerFrame;
    attr.fragsize = uint32_t(-1);
    if (pa_stream_connect_playback(g_stream, nullptr, &attr, PA_STREAM_ADJUST_LATENCY, nullptr,
                                   nullptr) < 0) {
        snprintf(why, whySize, "PulseAudio: %s", pa_strerror(pa_context_errno(g_context)));
        return false;
    }
    return waitReady(why, whySize);
}

}  // namespace

int pulseOutputUnderflows() { return g_underflows.load(std::memory_order_relaxed); }

bool pulseOutputOpen(char* why, size_t whySize) {
    g_underflows = 0;
    g_loop = pa_threaded_mainloop_new();
    if (!g_loop) {
        snprintf(why, whySize, "PulseAudio: no main loop");
        return false;
    }
    g_context = pa_context_new(pa_threaded_mainloop_get_api(g_loop), "Festoonery");
    if (!g_context) {
        snprintf(why, whySize, "PulseAudio: no context");
        pulseOutputClose();
        return false;
    }
    pa_context_set_state_callback(g_context, signalLoop, nullptr);
    // No server is started for us: without one the SDL output takes over.
    if (pa_context_connect(g_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
        pa_threaded_mainloop_start(g_loop) < 0) {
        snprintf(why, whySize, "PulseAudio: %s", pa_strerror(pa_context_errno(g_context)));
        pulseOutputClose();
        return false;
    }
    pa_threaded_mainloop_lock(g_loop);
    bool ok = waitReady(why, whySize) && askServerKind() && connectStream(why, whySize);
    pa_threaded_mainloop_unlock(g_loop);
    if (!ok) pulseOutputClose();
    return ok;
}

void pulseOutputClose() {
    if (!g_loop) return;
    pa_threaded_mainloop_lock(g_loop);
    if (g_stream) {
        pa_stream_set_write_callback(g_stream, nullptr, nullptr);
        pa_stream_disconnect(g_stream);
        pa_stream_unref(g_stream);
        g_stream = nullptr;
    }
    if (g_context) {
        pa_context_disconnect(g_context);
        pa_context_unref(g_context);
        g_context = nullptr;
    }
    pa_threaded_mainloop_unlock(g_loop);
    pa_threaded_mainloop_stop(g_loop);
    pa_threaded_mainloop_free(g_loop);
    g_loop = nullptr;
    g_timingPending = false;
}

}  // namespace audio

#else  // no PulseAudio client library

namespace audio {

bool pulseOutputOpen(char* why, size_t whySize) {
    if (whySize > 0) why[0] = '\0';
    return false;
}

void pulseOutputClose() {}

int pulseOutputUnderflows() { return 0; }

}  // namespace audio

#endif
