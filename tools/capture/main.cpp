// The capture: plays the production this program is built with offline on virtual time
// and writes every frame to PNG files or, through ffmpeg, to a video file with its
// soundtrack. festoonery-capture is this alone; every production's program runs it for
// --capture.
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "lib/capture_main.h"
#include "lib/encode_queue.h"
#include "lib/image_io.h"
#include "lib/options.h"
#include "lib/output.h"
#include "lib/session.h"
#include "log.h"
#include "platform/audio/decode.h"
#include "platform/files.h"
#include "scenes/scene/sprites.h"
#include "scenes/greeting_words.h"
#include "scenes/production_info.h"
#include "util/data/data.h"
#include "util/data/datafile_path.h"
#include "util/util/profile.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

// The usage text in three parts: the production's name and the options every production
// has, the --words option where the production has words (kWordsUsage), the rest.
const char kUsage[] =
    "Usage: %s [OPTIONS] OUTPUT\n"
    "\n"
    "%s: %s.\n"
    "Plays it offline, without a sound device and on virtual time, and writes\n"
    "its frames. Frame n shows exactly the music position n / RATE, so two captures with\n"
    "the same options give the same frames on the same renderer.\n"
    "\n"
    "OUTPUT  a file ending in .mp4, .mkv or .webm: a video made by ffmpeg (which must be\n"
    "        installed) with the soundtrack muxed in from the first frame on;\n"
    "        anything else: a folder (created when missing) of frame_000000.png, ...\n"
    "\n"
    "Options:\n"
    "  --size WxH      frame size in pixels, any size OpenGL allows (default 1920x1080)\n"
    "  --fps RATE      frames per second of music time: an integer or a fraction such\n"
    "                  as 60000/1001 (default 60)\n"
    "  --from T        first moment captured; T is a number with b for beats or s for\n"
    "                  seconds: 52b, 26.5s (default 0s). The frames before it are\n"
    "                  simulated without drawing, so its frames equal those of a capture\n"
    "                  from 0, and PNG files keep their number in the whole production\n"
    "  --to T          last moment captured (default: the end of the music)\n"
    "  --seed N        seed of the random generator (default 1)\n"
    "  --wav FILE      also write the soundtrack of the captured section as a WAV file\n"
    "  --samples N     multisamples per pixel, 0 for none (default 4, as the demo)\n"
    "  --archive FILE  the asset archive (default: data.mvt in the working folder, else\n"
    "                  the one beside this program, else the installed one in\n"
    "                  ../share/%s/ from this program's folder)\n"
    "  --level N       PNG compression level 0 (fastest) to 9 (default 1)\n"
    "  --particles P   how the particle scenes send their sparks: auto (the demo's way,\n"
    "                  default: cpu on a software renderer in frames at least 540\n"
    "                  pixels high, else fast where point sprites are supported, else\n"
    "                  reference), fast (point sprites), cpu (splatted by the CPU) or\n"
    "                  reference (four vertices per spark), to compare them\n"
    "%s"
    "  --quiet         no progress line\n"
    "  --help          this text\n"
    "\n"
    "Frames are encoded on a second thread while the next ones render; the last progress\n"
    "line tells the rate of each (render fps, encode fps): the lower one bounds the run.\n"
    "The engine's log goes to standard output, progress and errors to standard error.\n"
    "Exit status: 0 done, 1 the output could not be written (or ffmpeg is missing or\n"
    "failed), 2 wrong options.\n";

const char kWordsUsage[] =
    "  --words LIST    the greeting's eight words in drawing order, in place of the\n"
    "                  production's (\"Happy,0x20,birthday,Tuppet!,Best,wishes,from,\n"
    "                  Morvaset\"), laid out as they are; a comma inside a word is \\,\n"
    "                  Any script is drawn: Latin, Greek, Cyrillic, Hebrew, Arabic,\n"
    "                  the Indic scripts, Thai, Chinese, Japanese, Korean, emoji...,\n"
    "                  shaped, in the script font where it has the letters, else in\n"
    "                  the installed face nearest its look; a word that would cross\n"
    "                  the frame's edge is moved in or made smaller. A character no\n"
    "                  installed font draws is refused, named (U+XXXX, its name and\n"
    "                  script) with the font package that has it\n"
    "  --words-file FILE  the same eight words from a UTF-8 file, one word a line, as\n"
    "                  written (no quoting or escapes)\n";

// The program's name in messages ("festoonery-capture", "festoonery-hello --capture").
const char* g_program = "festoonery-capture";

[[noreturn]] void usageError(const char* format, const char* value) {
    offline::usageError(g_program, format, value);
}

[[noreturn]] void failure(const std::string& message) {
    fflush(stdout);
    fprintf(stderr, "\n%s: %s\n", g_program, message.c_str());
    exit(1);
}

// The words of --words and --words-file, each checked against the installed faces (the
// archive is read: after the production is built). Without words there is nothing to
// check: the production's archive need not hold the script font then.
void refuseUndrawableWords(const std::vector<std::string>& words) {
    bool fontMissing = false;
    std::string why = undrawableWordsReason(words, &fontMissing);
    if (why.empty()) return;
    if (fontMissing) failure(why);
    usageError("%s", why.c_str());
}

bool fileExists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string programFolder() {
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    path[n] = '\0';
    char* slash = strrchr(path, '/');
    if (slash) *slash = '\0';
    return path;
}

// Progress on standard error: rewritten in place on a terminal, otherwise a line about
// every five seconds and at the end.
class Progress {
public:
    Progress(int64_t total, bool quiet) : total_(total), quiet_(quiet), tty_(isatty(2)) {
        start_ = last_ = profile::nowNs();
    }
    // The last line's addition: the render and encode rates (frames per second of the time
    // each spent on its own, so whichever is lower bounds the capture).
    void setSummary(const std::string& summary) { summary_ = summary; }
    void update(int64_t done) {
        if (quiet_) return;
        int64_t now = profile::nowNs();
        bool end = done == total_;
        if (!end && now - last_ < (tty_ ? 200000000 : 5000000000LL)) return;
        last_ = now;
        double seconds = double(now - start_) * 1e-9;
        double fps = seconds > 0 ? double(done) / seconds : 0.0;
        double left = fps > 0 ? double(total_ - done) / fps : -1.0;
        fprintf(stderr, "%sframe %lld/%lld (%d%%)  %.1f fps  %s left%s%s", tty_ ? "\r" : "",
                static_cast<long long>(done), static_cast<long long>(total_),
                total_ > 0 ? int(done * 100 / total_) : 100, fps, offline::formatDuration(left).c_str(),
                end ? summary_.c_str() : "", tty_ && !end ? "   " : "\n");
        fflush(stderr);
    }

private:
    int64_t total_;
    bool quiet_, tty_;
    int64_t start_, last_;
    std::string summary_;
};

// The whole capture; every way out ends the process but a wrong option's, which
// returns its status.
int runCapture(int argc, char** argv) {
    // A batch program: boxes become lines on standard error unless asked otherwise.
    setenv("FESTOONERY_UI", "script", 0);
    // Frames and sound past a file-size limit fail with a message instead of a signal.
    platform::ignoreFileSizeSignal();

    int width = 1920, height = 1080, samples = 4, level = 1;
    offline::Rate rate;
    offline::TimePoint from, to;
    bool toGiven = false, quiet = false;
    uint32_t seed = 1;
    std::string wavPath, archive, output;
    ParticlePath particles = ParticlePath::Auto;
    std::vector<std::string> words;  // empty: the production's

    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) usageError("%s needs a value", argv[i]);
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            const ProductionInfo& production = thisProduction();
            printf(kUsage, g_program, production.program, production.description, production.program,
                   production.hasWords ? kWordsUsage : "");
            return 0;
        } else if (arg == "--size") {
            const char* v = value();
            if (!offline::parseSize(v, &width, &height)) usageError("bad size '%s' (WxH, such as 1920x1080)", v);
        } else if (arg == "--fps") {
            const char* v = value();
            if (!offline::parseRate(v, &rate)) usageError("bad rate '%s' (60, or a fraction such as 60000/1001)", v);
        } else if (arg == "--from") {
            const char* v = value();
            if (!offline::parseTime(v, &from)) usageError("bad time '%s' (such as 52b or 26.5s)", v);
        } else if (arg == "--to") {
            const char* v = value();
            if (!offline::parseTime(v, &to)) usageError("bad time '%s' (such as 52b or 26.5s)", v);
            toGiven = true;
        } else if (arg == "--seed") {
            const char* v = value();
            char* end = nullptr;
            unsigned long long n = strtoull(v, &end, 10);
            if (!*v || *end || v[0] == '-' || n > 0xffffffffull) usageError("bad seed '%s' (0 to 4294967295)", v);
            seed = uint32_t(n);
        } else if (arg == "--samples") {
            const char* v = value();
            char* end = nullptr;
            long n = strtol(v, &end, 10);
            if (!*v || *end || n < 0 || n > 64) usageError("bad sample count '%s' (0 to 64)", v);
            samples = int(n);
        } else if (arg == "--level") {
            const char* v = value();
            if (strlen(v) != 1 || v[0] < '0' || v[0] > '9') usageError("bad PNG level '%s' (0 to 9)", v);
            level = v[0] - '0';
        } else if (arg == "--wav") {
            wavPath = value();
        } else if (arg == "--archive") {
            archive = value();
        } else if (arg == "--particles") {
            const char* v = value();
            if (!parseParticlePath(v, &particles)) usageError("bad particle path '%s' (auto, fast, cpu or reference)", v);
        } else if (arg == "--words" && thisProduction().hasWords) {
            const char* v = value();
            std::string why;
            if (!words.empty()) usageError("%s", "give the words once: --words or --words-file");
            if (!parseGreetingWords(v, &words, &why)) usageError("bad --words: %s", why.c_str());
        } else if (arg == "--words-file" && thisProduction().hasWords) {
            const char* v = value();
            if (!words.empty()) usageError("%s", "give the words once: --words or --words-file");
            std::string text, why;
            if (!readWordsFile(v, &text, &why)) usageError("cannot read --words-file %s", why.c_str());
            if (!parseGreetingWordsFile(text, &words, &why)) usageError("bad --words-file: %s", why.c_str());
        } else if (arg == "--quiet") {
            quiet = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            usageError("unknown option '%s'", argv[i]);
        } else if (output.empty()) {
            output = arg;
        } else {
            usageError("more than one OUTPUT given ('%s')", argv[i]);
        }
    }
    if (output.empty()) usageError("%sno OUTPUT given", "");

    // Everything that can be refused is refused before the minutes of loading.
    offline::OutputKind kind = offline::outputKind(output);
    std::string ffmpeg, error;
    if (kind != offline::OutputKind::Folder) {
        ffmpeg = offline::findExecutable("ffmpeg");
        if (ffmpeg.empty())
            failure("a video file needs ffmpeg, which is not on PATH: install it (Debian: apt-get install "
                    "ffmpeg) or give a folder as OUTPUT for PNG frames");
    } else if (!offline::prepareFolder(output, &error)) {
        failure(error);
    } else {
        // Every failure from here on ends with exit(); success ends with _exit(0).
        atexit(offline::removeCreatedFolders);
    }
    std::string searched;  // every place looked at, when none had an archive
    if (archive.empty()) {
        const std::vector<std::string> places = datafileCandidates(programFolder());
        archive = findDatafile(places);
        if (archive.empty()) {
            archive = places[1];
            searched = describePlaces(places);
        }
    }
    if (!fileExists(archive) && (!getenv("FESTOONERY_DATA") || strcmp(getenv("FESTOONERY_DATA"), "disk") != 0))
        failure("no asset archive at " + (searched.empty() ? archive : searched) +
                " (build it, or name one with --archive)");

    setParticlePath(particles);
    offline::openWindow(160, 90, 0, 0, (std::string(thisProduction().title) + " (capture)").c_str());
    std::string refusal = offline::sizeRefusal(width, height, samples);
    if (!refusal.empty()) usageError("cannot capture here: %s", refusal.c_str());

    offline::ProductionOptions options;
    options.archive = archive;
    options.rate = rate;
    options.seed = seed;
    setGreetingWords(words);
    std::unique_ptr<offline::Production> production(new offline::Production(options, width, height));
    refuseUndrawableWords(words);
    const double bpm = production->bpm();
    const double length = production->lengthSeconds();
    double fromSeconds = from.seconds(bpm);
    double toSeconds = toGiven ? to.seconds(bpm) : length;
    if (toSeconds > length) {
        fprintf(stderr, "%s: the music ends at %.3fs (beat %.2f); capturing up to there\n", g_program, length,
                length * bpm / 60.0);
        toSeconds = length;
    }
    int64_t first = offline::firstFrameAtOrAfter(rate, fromSeconds);
    int64_t last = offline::lastFrameAtOrBefore(rate, toSeconds);
    if (last < first) {
        char range[160];
        snprintf(range, sizeof range, "%.3fs to %.3fs", fromSeconds, toSeconds);
        usageError("no frame lies in %s", range);
    }
    const int64_t total = last - first + 1;
    const double firstSeconds = offline::frameSeconds(rate, first);
    const int64_t audioFirst = int64_t(firstSeconds * audio::kOutputRate + 0.5);
    const int64_t audioFrames = int64_t(double(total) * rate.den / rate.num * audio::kOutputRate + 0.5);

    // The soundtrack's section: for --wav, and for the video's sound track.
    std::string soundPath = wavPath;
    bool temporarySound = false;
    if (soundPath.empty() && kind != offline::OutputKind::Folder) {
        char name[] = "/tmp/festoonery-capture-XXXXXX.wav";
        int fd = mkstemps(name, 4);
        if (fd < 0) failure("cannot make a temporary file for the sound");
        close(fd);
        soundPath = name;
        temporarySound = true;
    }
    if (!soundPath.empty()) {
        offline::WavWriter wav;
        if (!wav.open(soundPath.c_str(), audio::kOutputRate, &error)) failure(error);
        production->readSoundtrack(audioFirst, audioFrames,
                                   [&](const int16_t* samples16, int count) { wav.append(samples16, count); });
        if (!wav.finish(&error)) failure(error);
    }

    std::unique_ptr<offline::FrameOutput> sink;
    if (kind == offline::OutputKind::Folder) {
        sink.reset(new offline::FolderOutput(output, level, first));
    } else {
        auto* video = new offline::FfmpegOutput();
        sink.reset(video);
        if (!video->start(ffmpeg, output, kind, width, height, rate, soundPath)) failure(video->error());
    }

    fprintf(stderr, "%s: %lld frames of %dx%d at %s fps, music %.3fs to %.3fs (beat %.2f to %.2f)\n",
            g_program, static_cast<long long>(total), width, height,
            rate.den == 1 ? std::to_string(rate.num).c_str()
                          : (std::to_string(rate.num) + "/" + std::to_string(rate.den)).c_str(),
            firstSeconds, offline::frameSeconds(rate, last), firstSeconds * bpm / 60.0,
            offline::frameSeconds(rate, last) * bpm / 60.0);

    // The scenes carry history (stars, rockets, the random generator): the frames before
    // the first one are simulated, not drawn, so a capture from any moment shows what a
    // capture from 0 shows there.
    if (first > 0) {
        int64_t start = profile::nowNs();
        production->fastForward(first);
        if (!quiet)
            fprintf(stderr, "%s: fast-forward over %lld frames in %.2fs\n", g_program,
                    static_cast<long long>(first), double(profile::nowNs() - start) * 1e-9);
    }

    offline::CaptureTarget target(width, height, samples);
    Progress progress(total, quiet);
    const int64_t renderStart = profile::nowNs();
    bool finished = true;
    {
        // Two frames may wait while one is encoded and the next renders.
        offline::EncodeQueue encoder(sink.get(), 2);
        auto emit = [&](int64_t index) {
            int w = 0, h = 0;
            const unsigned char* pixels = target.map(int(index & 1), &w, &h);
            bool ok = encoder.push(pixels, w, h);
            target.unmap(int(index & 1));
            if (!ok) {
                encoder.drain();
                if (temporarySound) remove(soundPath.c_str());
                failure(sink->error());
            }
        };
        for (int64_t i = 0; i < total; ++i) {
            production->drawFrame(first + i, &target);
            target.queueRead(int(i & 1));
            if (i > 0) emit(i - 1);
            progress.update(i);
        }
        emit(total - 1);
        double renderSeconds = double(profile::nowNs() - renderStart) * 1e-9 - encoder.waitSeconds();
        finished = encoder.drain();
        double encodeSeconds = encoder.encodeSeconds();
        char summary[128];
        snprintf(summary, sizeof summary, "  (render %.1f fps, encode %.1f fps)",
                 renderSeconds > 0 ? double(total) / renderSeconds : 0.0,
                 encodeSeconds > 0 ? double(total) / encodeSeconds : 0.0);
        progress.setSummary(summary);
        progress.update(total);
    }
    finished = sink->finish() && finished;
    if (temporarySound) remove(soundPath.c_str());
    if (!finished) failure(sink->error());
    fprintf(stderr, "%s: wrote %s\n", g_program, output.c_str());
    fflush(stdout);
#if defined(__SANITIZE_ADDRESS__)
    // Sanitizer builds: _exit skips the leak check that exit would run, so look now
    // (a leak ends the process with LeakSanitizer's status).
    __lsan_do_leak_check();
#endif
    // The demo's shared resources stay until the process ends; so do these.
    _exit(0);
}

}  // namespace

int offline::captureMain(const char* program, int argc, char** argv) {
    g_program = program;
    setInstalledDataName(thisProduction().program);
    return runCapture(argc, argv);
}
