// The measurement: a soundtrack of short tone bursts (the onsets) plays through the audio
// layer into a PulseAudio null sink, while a record stream on the sink's monitor finds
// each onset and asks the server, through the stream's timing information, when that
// sample left the sink. A frame loop samples the layer's position like the demo; the
// time at which the position passes an onset's frame is when the layer says the onset is
// heard. Both sides read CLOCK_MONOTONIC.
#include "pulse_check.h"

#include <pulse/pulseaudio.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "platform/audio/bass.h"
#include "platform/audio/decode.h"
#include "platform/audio/offline.h"
#include "platform/audio/output.h"
#include "private_server.h"
#include "sound_compare.h"

namespace pulsecheck {
namespace {

constexpr int kRate = 44100;
constexpr double kBurstSeconds = 0.030;
constexpr double kOnsetSpacing = 0.250;
constexpr double kFinalBurstSeconds = 0.100;  // runs to the stream's last frame

double monotonic() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// An onset: a sample at or above half the bursts' amplitude after at least 50 ms below.
// The same detector reads the decoded soundtrack and the recording, so both name the
// same sample.
class OnsetDetector {
public:
    bool feed(int16_t left) {
        bool loud = std::abs(int(left)) >= kThreshold;
        bool onset = loud && quiet_ >= kMinQuietFrames;
        quiet_ = loud ? 0 : quiet_ + 1;
        return onset;
    }

private:
    static constexpr int kThreshold = 32767 * 3 / 10;
    static constexpr int64_t kMinQuietFrames = kRate / 20;
    int64_t quiet_ = kMinQuietFrames;
};

// The soundtrack as an OGG image: silence with a 1 kHz burst (amplitude 0.6) every
// 250 ms from 0.5 s on, and a last burst that ends with the stream.
std::vector<char> soundtrack(double seconds) {
    int64_t frames = int64_t(seconds * kRate);
    std::vector<float> samples(size_t(frames) * 2, 0.0f);
    auto burst = [&](int64_t first, int64_t count) {
        for (int64_t i = 0; i < count && first + i < frames; ++i) {
            float v = 0.6f * float(std::sin(2.0 * M_PI * 1000.0 * double(i) / kRate));
            samples[size_t(first + i) * 2] = samples[size_t(first + i) * 2 + 1] = v;
        }
    };
    int64_t finalStart = frames - int64_t(kFinalBurstSeconds * kRate);
    for (double t = 0.5; t * kRate + kOnsetSpacing * kRate < double(finalStart); t += kOnsetSpacing)
        burst(int64_t(t * kRate), int64_t(kBurstSeconds * kRate));
    burst(finalStart, frames - finalStart);

    char path[] = "/tmp/festoonery-onsets-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0) return {};
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 2;
    info.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    SNDFILE* file = sf_open_fd(fd, SFM_WRITE, &info, 1);
    std::vector<char> bytes;
    if (file) {
        double quality = 0.9;
        sf_command(file, SFC_SET_VBR_ENCODING_QUALITY, &quality, sizeof quality);
        sf_writef_float(file, samples.data(), frames);
        sf_close(file);
        FILE* f = fopen(path, "rb");
        char chunk[65536];
        size_t got;
        while (f && (got = fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
        if (f) fclose(f);
    }
    remove(path);
    return bytes;
}

// Records the default sink's monitor and notes, for each onset, the time the server
// says its sample was played (CLOCK_MONOTONIC seconds).
class MonitorRecorder {
public:
    ~MonitorRecorder() { close(); }

    bool open(std::string* error) {
        loop_ = pa_threaded_mainloop_new();
        context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "festoonery-audio-clock monitor");
        pa_context_set_state_callback(context_, &MonitorRecorder::signal, loop_);
        if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
            pa_threaded_mainloop_start(loop_) < 0) {
            *error = pa_strerror(pa_context_errno(context_));
            return false;
        }
        pa_threaded_mainloop_lock(loop_);
        bool ok = waitContext(error) && connectMonitor(error);
        pa_threaded_mainloop_unlock(loop_);
        return ok;
    }

    // Blocks until the first recorded data has come (the stream runs).
    bool waitRunning(double seconds) {
        double until = monotonic() + seconds;
        for (;;) {
            pa_threaded_mainloop_lock(loop_);
            bool running = fragments_ > 0;
            pa_threaded_mainloop_unlock(loop_);
            if (running) return true;
            if (monotonic() > until) return false;
            usleep(5000);
        }
    }

    void close() {
        if (!loop_) return;
        pa_threaded_mainloop_lock(loop_);
        if (stream_) {
            pa_stream_disconnect(stream_);
            pa_stream_unref(stream_);
            stream_ = nullptr;
        }
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        pa_threaded_mainloop_unlock(loop_);
        pa_threaded_mainloop_stop(loop_);
        pa_threaded_mainloop_free(loop_);
        loop_ = nullptr;
    }

    std::vector<double> onsets() {
        pa_threaded_mainloop_lock(loop_);
        std::vector<double> copy = onsets_;
        pa_threaded_mainloop_unlock(loop_);
        return copy;
    }
    int untimed() const { return untimed_; }
    // Keeps every recorded frame (interleaved stereo), from before open() on.
    void keepSamples() { keep_ = true; }
    const std::vector<int16_t>& samples() const { return kept_; }  // after close()
    int overflows() const { return overflows_; }

private:
    static void signal(pa_context*, void* loop) {
        pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
    }
    static void streamSignal(pa_stream*, void* loop) {
        pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
    }
    static void serverInfo(pa_context*, const pa_server_info* info, void* self) {
        auto* me = static_cast<MonitorRecorder*>(self);
        const char* sink = getenv("PULSE_SINK");  // where playback streams go, as libpulse does
        if (!sink && info) sink = info->default_sink_name;
        me->pipewire_ = info && info->server_name && strstr(info->server_name, "PipeWire");
        if (sink) me->monitor_ = std::string(sink) + ".monitor";
        pa_threaded_mainloop_signal(me->loop_, 0);
    }

    bool waitContext(std::string* error) {
        for (;;) {
            pa_context_state_t state = pa_context_get_state(context_);
            if (state == PA_CONTEXT_READY) return true;
            if (!PA_CONTEXT_IS_GOOD(state)) {
                *error = pa_strerror(pa_context_errno(context_));
                return false;
            }
            pa_threaded_mainloop_wait(loop_);
        }
    }

    bool connectMonitor(std::string* error) {
        pa_operation* op = pa_context_get_server_info(context_, &MonitorRecorder::serverInfo, this);
        while (op && pa_operation_get_state(op) == PA_OPERATION_RUNNING) pa_threaded_mainloop_wait(loop_);
        if (op) pa_operation_unref(op);
        if (monitor_.empty()) {
            *error = "the server names no default sink";
            return false;
        }
        pa_sample_spec format{PA_SAMPLE_S16LE, uint32_t(kRate), 2};
        stream_ = pa_stream_new(context_, "onset monitor", &format, nullptr);
        pa_stream_set_state_callback(stream_, &MonitorRecorder::streamSignal, loop_);
        pa_stream_set_read_callback(stream_, &MonitorRecorder::readable, this);
        // Recorded data the server had to drop because we read too late: a gap in the
        // recording, not in the sound.
        pa_stream_set_overflow_callback(
            stream_, [](pa_stream*, void* self) { ++static_cast<MonitorRecorder*>(self)->overflows_; }, this);
        pa_buffer_attr attr;
        memset(&attr, 0xff, sizeof attr);
        attr.fragsize = uint32_t(kRate / 100 * 4);  // 10 ms
        // Raw reports, asked for after every fragment read, not interpolated.
        auto flags = pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY);
        if (pa_stream_connect_record(stream_, monitor_.c_str(), &attr, flags) < 0) {
            *error = pa_strerror(pa_context_errno(context_));
            return false;
        }
        for (;;) {
            pa_stream_state_t state = pa_stream_get_state(stream_);
            if (state == PA_STREAM_READY) return true;
            if (!PA_STREAM_IS_GOOD(state)) {
                *error = pa_strerror(pa_context_errno(context_));
                return false;
            }
            pa_threaded_mainloop_wait(loop_);
        }
    }

    // A timing report says which byte of the record stream was leaving the sink at the
    // report's stamp: the bytes the server had captured into the stream, less what the
    // monitor has been given but the sink not yet played. The null sink plays at the
    // monotonic clock's pace, so each report gives the time at which byte 0 was played;
    // a report whose figures were taken on either side of a sink's block is off by that
    // block, so the median of the last reports is taken.
    static void onTiming(pa_stream* stream, int success, void* self) {
        auto* me = static_cast<MonitorRecorder*>(self);
        me->timingPending_ = false;
        const pa_timing_info* info = success ? pa_stream_get_timing_info(stream) : nullptr;
        if (!info || info->write_index_corrupt) return;
        double stamp = double(info->timestamp.tv_sec) + double(info->timestamp.tv_usec) * 1e-6;
        double playing = double(info->write_index) / 4.0 + double(info->source_usec) * 1e-6 * kRate -
                         double(info->sink_usec) * 1e-6 * kRate;
        double origin = stamp - realtimeOffset() - playing / kRate;
        if (me->pipewire_) {
            // PipeWire's service: the write index moves by whole quanta at each graph
            // cycle, the reply is stamped when sent, and the quantum captured in a cycle
            // is the one the sink plays from then on (as the audio layer reads it).
            if (me->lastWrite_ >= 0 && info->write_index > me->lastWrite_)
                ++me->steps_[(info->write_index - me->lastWrite_) / 4];
            me->lastWrite_ = info->write_index;
            int64_t quantum = 0;
            int seen = 0;
            for (const auto& [step, count] : me->steps_)
                if (count > seen) quantum = step, seen = count;
            origin += double(quantum) / kRate;
        }
        me->origins_[me->reports_++ % kReports] = origin;
    }

    // When byte 0 of the record stream was played; false before the first report.
    bool origin(double* seconds) const {
        size_t count = size_t(std::min<int64_t>(reports_, kReports));
        if (count == 0) return false;
        std::vector<double> sorted(origins_, origins_ + count);
        // PipeWire: the least delayed report stands for the cycle's time.
        if (pipewire_) {
            *seconds = *std::min_element(sorted.begin(), sorted.end());
            return true;
        }
        std::nth_element(sorted.begin(), sorted.begin() + count / 2, sorted.end());
        *seconds = sorted[count / 2];
        return true;
    }

    static void readable(pa_stream* stream, size_t, void* self) {
        auto* me = static_cast<MonitorRecorder*>(self);
        const void* data;
        size_t bytes;
        while (pa_stream_readable_size(stream) > 0 && pa_stream_peek(stream, &data, &bytes) == 0 &&
               bytes > 0) {
            double zero = 0;
            bool timed = me->origin(&zero);
            size_t frames = bytes / 4;
            const int16_t* samples = static_cast<const int16_t*>(data);
            // A hole in the stream (data null) is silence.
            if (me->keep_) {
                if (samples) me->kept_.insert(me->kept_.end(), samples, samples + frames * 2);
                else me->kept_.resize(me->kept_.size() + frames * 2, 0);
            }
            for (size_t i = 0; i < frames; ++i) {
                if (!me->detector_.feed(samples ? samples[i * 2] : int16_t(0))) continue;
                if (timed)
                    me->onsets_.push_back(zero + (double(me->consumed_) / 4.0 + double(i)) / kRate);
                else
                    ++me->untimed_;
            }
            me->consumed_ += int64_t(bytes);
            ++me->fragments_;
            pa_stream_drop(stream);
        }
        if (!me->timingPending_) {
            pa_operation* op = pa_stream_update_timing_info(stream, &MonitorRecorder::onTiming, me);
            if (op) {
                me->timingPending_ = true;
                pa_operation_unref(op);
            }
        }
    }

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    std::string monitor_;
    OnsetDetector detector_;
    std::vector<double> onsets_;
    int untimed_ = 0;
    int overflows_ = 0;  // loop thread; read after close()
    bool keep_ = false;
    std::vector<int16_t> kept_;
    int64_t fragments_ = 0;
    int64_t consumed_ = 0;  // bytes of the record stream read so far
    static constexpr int64_t kReports = 15;
    double origins_[kReports] = {};
    int64_t reports_ = 0;
    bool timingPending_ = false;
    bool pipewire_ = false;
    int64_t lastWrite_ = -1;
    std::map<int64_t, int> steps_;  // steps of the write index (frames): how often seen

    // Timing reports carry wall-clock stamps: the difference to CLOCK_MONOTONIC now.
    static double realtimeOffset() {
        timespec real, mono;
        clock_gettime(CLOCK_REALTIME, &real);
        clock_gettime(CLOCK_MONOTONIC, &mono);
        return double(real.tv_sec - mono.tv_sec) + double(real.tv_nsec - mono.tv_nsec) * 1e-9;
    }
};

struct Sample {
    double t;
    int64_t frame;
};

// When the sampled position passed `frame`, interpolated between the two frames around it.
double passedAt(const std::vector<Sample>& samples, int64_t frame) {
    for (size_t i = 1; i < samples.size(); ++i) {
        const Sample& a = samples[i - 1];
        const Sample& b = samples[i];
        if (b.frame >= frame && a.frame < frame)
            return a.t + (b.t - a.t) * double(frame - a.frame) / double(b.frame - a.frame);
    }
    return NAN;
}

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    double index = p * double(values.size() - 1);
    size_t low = size_t(std::floor(index));
    size_t high = std::min(low + 1, values.size() - 1);
    return values[low] + (values[high] - values[low]) * (index - double(low));
}

}  // namespace

int run(const Options& options) {
    PrivateServer server;
    std::string why;
    if (options.privateServer && !server.start(options.server, options.combined, &why)) {
        printf("pulse: no private %s server could be started: %s\n",
               options.server == ServerKind::PipeWire ? "PipeWire" : "PulseAudio", why.c_str());
        return 1;
    }
    // The pulse path, whatever the caller's environment chose (the tests' is "dummy").
    setenv("SDL_AUDIODRIVER", "pulseaudio", 1);

    std::vector<char> image = soundtrack(options.seconds);
    audio::DecodedAudio decoded;
    if (image.empty() || !audio::decodeStream(image.data(), image.size(), &decoded)) {
        printf("pulse: the soundtrack could not be made\n");
        return 1;
    }
    std::vector<int64_t> reference;
    OnsetDetector detector;
    for (int64_t i = 0; i < decoded.frames; ++i)
        if (detector.feed(decoded.samples[i * 2])) reference.push_back(i);
    int64_t lastFrame = decoded.frames;
    free(decoded.samples);

    MonitorRecorder recorder;
    std::string error;
    if (!recorder.open(&error)) {
        printf("pulse: cannot record the sink's monitor: %s\n", error.c_str());
        return 1;
    }
    audio::preferSdlOutput(options.sdlOutput);
    if (!BASS_Init(-1, kRate, 0, nullptr, nullptr)) return 1;
    printf("output: %s\n", audio::outputDriver());
    if (strcmp(audio::outputDriver(), "pulseaudio") != 0) {
        printf("pulse: the audio layer did not open the PulseAudio output\n");
        return 1;
    }
    // The output plays silence from its opening on; a second more lets the server settle
    // its latencies, as the demo's loading does before it plays.
    if (!recorder.waitRunning(5.0)) {
        printf("pulse: no data from the sink's monitor\n");
        return 1;
    }
    usleep(1000000);
    HSTREAM stream = BASS_StreamCreateFile(TRUE, image.data(), 0, image.size(), 0);
    if (!stream || !BASS_ChannelPlay(stream, FALSE)) return 1;

    std::vector<Sample> samples;
    int backwards = 0;
    double start = monotonic(), stopSeen = NAN;
    for (int i = 1;; ++i) {
        double target = start + i / options.fps;
        while (monotonic() < target) usleep(target - monotonic() > 0.002 ? 1000 : 100);
        double t = monotonic();
        bool playing = BASS_ChannelIsActive(stream) == BASS_ACTIVE_PLAYING;
        int64_t frame = int64_t(BASS_ChannelGetPosition(stream, BASS_POS_BYTE) / 4);
        if (!samples.empty() && frame < samples.back().frame) ++backwards;
        samples.push_back({t, frame});
        if (!playing) {
            stopSeen = t;
            break;
        }
        if (t - start > options.seconds + 5.0) break;
    }
    usleep(300000);
    std::vector<double> heard = recorder.onsets();
    recorder.close();
    server.stop();

    if (std::isnan(stopSeen)) {
        printf("pulse: the stream did not stop within %.0f s of its end\n", 5.0);
        return 1;
    }
    // A gap on either side explains an onset too many or too few: a burst cut in two or
    // lost in the sound (the layer's stream ran dry) or in the recording (read too late).
    const int underflows = audio::pulseOutputUnderflows();
    printf("pulse: %d underflows of the layer's stream, %d overflows of the monitor's\n", underflows,
           recorder.overflows());
    if (heard.size() != reference.size()) {
        printf("pulse: %zu onsets in the recording (%d without timing), %zu in the soundtrack\n",
               heard.size(), recorder.untimed(), reference.size());
        return 1;
    }
    std::vector<double> offsets, magnitudes;
    for (size_t i = 0; i < reference.size(); ++i) {
        double engine = passedAt(samples, reference[i]);
        if (std::isnan(engine)) continue;
        offsets.push_back((engine - heard[i]) * 1000.0);
        if (options.listOnsets)
            printf("onset %2zu at frame %6lld: server %.4f s, layer %.4f s, %+.2f ms\n", i,
                   (long long)reference[i], heard[i] - start, engine - start, offsets.back());
        magnitudes.push_back(std::fabs(offsets.back()));
    }
    if (offsets.empty()) {
        printf("pulse: the position never passed an onset\n");
        return 1;
    }
    double lastHeard = heard.back() + double(lastFrame - reference.back()) / kRate;
    printf("pulse: %zu onsets, layer minus server: median %+.1f ms, min %+.1f ms, max %+.1f ms\n",
           offsets.size(), percentile(offsets, 0.5), percentile(offsets, 0.0), percentile(offsets, 1.0));
    if (backwards)
        printf("pulse: the position went backwards %d times\n", backwards);
    else
        printf("pulse: the position never went backwards\n");
    printf("pulse: offset median %.1f ms, p95 %.1f ms, stop seen %.1f ms after the last frame\n",
           percentile(magnitudes, 0.5), percentile(magnitudes, 0.95), (stopSeen - lastHeard) * 1000.0);
    return 0;
}

namespace {

std::vector<char> readFile(const std::string& path) {
    std::vector<char> bytes;
    FILE* f = fopen(path.c_str(), "rb");
    char chunk[65536];
    size_t got;
    while (f && (got = fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
    if (f) fclose(f);
    return bytes;
}

// Runs the demo in `folder` until it ends by itself (true, with its exit status) or
// `seconds` have passed (then it is killed: false).
bool runDemo(const std::string& demo, const std::string& folder, double seconds, int* status) {
    pid_t child = fork();
    if (child == 0) {
        if (chdir(folder.c_str()) != 0) _exit(127);
        FILE* log = freopen("demo.log", "w", stdout);
        if (log) dup2(fileno(stdout), 2);
        setenv("FESTOONERY_UI", "script", 1);  // its boxes answered, no person at hand
        setenv("FESTOONERY_ANSWERS", "", 1);
        setenv("SDL_AUDIODRIVER", "pulseaudio", 1);
        execl(demo.c_str(), demo.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    if (child < 0) return false;
    double until = monotonic() + seconds;
    for (;;) {
        pid_t done = waitpid(child, status, WNOHANG);
        if (done == child) return true;
        if (monotonic() > until) {
            kill(child, SIGKILL);
            waitpid(child, status, 0);
            return false;
        }
        usleep(100000);
    }
}

}  // namespace

int runWhole(const Options& options) {
    char real[PATH_MAX];
    if (!realpath(options.demo.c_str(), real)) {
        printf("whole: no demo at %s\n", options.demo.c_str());
        return 1;
    }
    const std::string demo = real, demoFolder = demo.substr(0, demo.rfind('/'));
    std::vector<char> image = readFile(demoFolder + "/" + options.soundtrack);
    audio::DecodedAudio decoded;
    if (image.empty() || !audio::decodeStream(image.data(), image.size(), &decoded)) {
        printf("whole: cannot decode the soundtrack %s/%s\n", demoFolder.c_str(), options.soundtrack.c_str());
        return 1;
    }
    std::vector<int16_t> soundtrack(decoded.samples, decoded.samples + decoded.frames * 2);
    free(decoded.samples);
    const double seconds = double(soundtrack.size() / 2) / kRate;

    // A folder of its own: the archive beside the demo, and the viewer's settings of a
    // 1280x720 window with 4 samples, as the setup dialog gives them.
    char folder[] = "/tmp/festoonery-whole-XXXXXX";
    if (!mkdtemp(folder)) {
        printf("whole: no work folder: %s\n", strerror(errno));
        return 1;
    }
    const std::string work = folder;
    if (symlink((demoFolder + "/data.mvt").c_str(), (work + "/data.mvt").c_str()) != 0) return 1;
    if (FILE* cfg = fopen((work + "/default.cfg").c_str(), "w")) {
        fprintf(cfg, "width 1280\nheight 720\nflags %d\nsamples 4\nvsync 0\n", int(0x80000000u));
        fclose(cfg);
    }

    PrivateServer server;
    std::string why;
    if (options.privateServer && !server.start(options.server, options.combined, &why)) {
        printf("whole: no private %s server could be started: %s\n",
               options.server == ServerKind::PipeWire ? "PipeWire" : "PulseAudio", why.c_str());
        return 1;
    }
    MonitorRecorder recorder;
    recorder.keepSamples();
    std::string error;
    if (!recorder.open(&error) || !recorder.waitRunning(5.0)) {
        printf("whole: cannot record the sink's monitor: %s\n", error.c_str());
        return 1;
    }
    int status = 0;
    bool ended = runDemo(demo, work, seconds + 120.0, &status);
    usleep(500000);  // the last frames out of the sink
    recorder.close();
    server.stop();
    std::vector<char> logBytes = readFile(work + "/demo.log");
    std::string log(logBytes.begin(), logBytes.end());
    unlink((work + "/demo.log").c_str());
    unlink((work + "/data.mvt").c_str());
    unlink((work + "/default.cfg").c_str());
    rmdir(work.c_str());
    if (!ended || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        printf("whole: the demo %s; its log ends:\n%s\n", ended ? "failed" : "did not end in time",
               log.substr(log.size() > 2000 ? log.size() - 2000 : 0).c_str());
        return 1;
    }
    const std::vector<int16_t>& heard = recorder.samples();
    SoundComparison c = compareSound(soundtrack.data(), int64_t(soundtrack.size() / 2), heard.data(),
                                     int64_t(heard.size() / 2));
    if (!c.found) {
        printf("whole: the soundtrack is not in the recording (%.1f s recorded)\n", double(heard.size() / 2) / kRate);
        return 1;
    }
    printf("whole: %d dropouts in %.1f s, longest gap %.1f ms, delay %.1f ms\n", c.dropouts,
           double(c.compared) / kRate, double(c.longestGap) * 1000.0 / kRate, double(c.delay) * 1000.0 / kRate);
    if (c.clicks) printf("whole: %d of them clicks (back in step without a step)\n", c.clicks);
    return 0;
}

}  // namespace pulsecheck
