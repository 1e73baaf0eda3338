// Usage: festoonery-audio-clock [FILE.ogg|FILE.mp3] [SECONDS]
//        festoonery-audio-clock --pulse [--running|--combined|--pipewire] [--sdl] [--onsets]
//                               [--fps N] [--seconds S]
//        festoonery-audio-clock --pulse [--pipewire] --whole [DEMO]
// Plays the file (without one: a generated 5 s tone, silent output) and samples the
// stream position like a frame loop at 60 and then 144 frames per second. Prints, per
// rate, how far each frame's advance of the position strays from the time the frame
// took, and how far the position strays from the time since playback began.
// --pulse compares the position with what a PulseAudio server plays (pulse_check.h):
// on a private server it starts itself (--combined: its stream through a combine sink,
// which buffers more; --pipewire: a private PipeWire with its PulseAudio service and
// WirePlumber instead), or with --running on the session's server; --sdl plays through
// SDL's PulseAudio driver instead of the client library; --onsets prints each onset's
// times. --whole: the demo (DEMO, default ./festoonery; it needs a display) plays the
// whole greeting into the private server at 1280x720 with 4 samples, and the sink's
// monitor against the soundtrack gives its dropouts, longest gap and delay.
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/audio/bass.h"
#include "platform/audio/offline.h"
#include "platform/system.h"
#ifdef FESTOONERY_HAVE_PULSE
#include "pulse_check.h"
#endif

namespace {

double now() {
    int64_t f = 1, c = 0;
    platform::performanceFrequency(&f);
    platform::performanceCounter(&c);
    return double(c) / double(f);
}

std::vector<char> readAll(const char* path) {
    std::vector<char> bytes;
    FILE* f = fopen(path, "rb");
    if (!f) return bytes;
    char chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
    fclose(f);
    return bytes;
}

std::vector<char> toneFile(double seconds) {
    char path[] = "/tmp/festoonery-tone-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0) return {};
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    SNDFILE* file = sf_open_fd(fd, SFM_WRITE, &info, 1);
    if (!file) return {};
    std::vector<float> samples(size_t(44100 * seconds) * 2);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = 0.2f * float(std::sin(i / 2 * 0.0628));
    sf_writef_float(file, samples.data(), sf_count_t(samples.size() / 2));
    sf_close(file);
    std::vector<char> bytes = readAll(path);
    remove(path);
    return bytes;
}

void measure(HSTREAM stream, double fps, double seconds) {
    if (!BASS_ChannelPlay(stream, TRUE)) return;
    double start = now(), frameTime = 1.0 / fps;
    double previousT = 0, previousPos = 0, worstStep = 0, sumStep = 0, worstLag = 0;
    double firstHeardT = -1;
    int frames = 0, stills = 0;
    for (int i = 0;; ++i) {
        double target = start + i * frameTime;
        while (now() < target) platform::sleepMs(target - now() > 0.002 ? 1 : 0);
        double t = now();
        if (t - start > seconds || BASS_ChannelIsActive(stream) != BASS_ACTIVE_PLAYING) break;
        double pos = BASS_ChannelBytes2Seconds(stream, BASS_ChannelGetPosition(stream, BASS_POS_BYTE));
        if (pos > 0 && firstHeardT < 0) firstHeardT = t - pos;
        if (i > 0 && previousPos > 0) {
            double stray = std::fabs((pos - previousPos) - (t - previousT));
            worstStep = std::max(worstStep, stray);
            sumStep += stray;
            ++frames;
            if (pos == previousPos) ++stills;
            worstLag = std::max(worstLag, std::fabs((t - firstHeardT) - pos));
        }
        previousT = t;
        previousPos = pos;
    }
    printf("%5.0f fps: %4d frames, advance vs frame time: mean %.3f ms, worst %.3f ms; "
           "%d frames without advance; position vs time since start: worst %.3f ms\n",
           fps, frames, frames ? sumStep / frames * 1000 : 0.0, worstStep * 1000, stills,
           worstLag * 1000);
}

}  // namespace

int pulseMain(int argc, char** argv) {
#ifdef FESTOONERY_HAVE_PULSE
    pulsecheck::Options options;
    bool whole = false;
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--running") {
            options.privateServer = false;
        } else if (arg == "--pipewire") {
            options.server = pulsecheck::ServerKind::PipeWire;
        } else if (arg == "--combined") {
            options.combined = true;
        } else if (arg == "--sdl") {
            options.sdlOutput = true;
        } else if (arg == "--onsets") {
            options.listOnsets = true;
        } else if (arg == "--whole") {
            whole = true;
            if (i + 1 < argc && argv[i + 1][0] != '-') options.demo = argv[++i];
        } else if ((arg == "--fps" || arg == "--seconds") && i + 1 < argc) {
            double value = atof(argv[++i]);
            if (!(value >= 1.0 && value <= 1000.0)) {
                fprintf(stderr, "%s: expected 1 to 1000, got %s\n", arg.c_str(), argv[i]);
                return 2;
            }
            (arg == "--fps" ? options.fps : options.seconds) = value;
        } else {
            fprintf(stderr, "unknown option %s\n", arg.c_str());
            return 2;
        }
    }
    return whole ? pulsecheck::runWhole(options) : pulsecheck::run(options);
#else
    (void)argc;
    (void)argv;
    fprintf(stderr, "--pulse: built without the PulseAudio client library (libpulse-dev)\n");
    return 1;
#endif
}

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc > 1 && std::string(argv[1]) == "--pulse") return pulseMain(argc, argv);
    double seconds = argc > 2 ? atof(argv[2]) : 4.0;
    std::vector<char> image = argc > 1 ? readAll(argv[1]) : toneFile(seconds + 1.0);
    if (image.empty()) {
        fprintf(stderr, "no sound file\n");
        return 1;
    }
    if (!BASS_Init(-1, 44100, 0, nullptr, nullptr)) return 1;
    printf("output: %s\n", audio::outputDriver());
    HSTREAM stream = BASS_StreamCreateFile(TRUE, image.data(), 0, image.size(), 0);
    if (!stream) return 1;
    measure(stream, 60.0, seconds);
    measure(stream, 144.0, seconds);
    return 0;
}
