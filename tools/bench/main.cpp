// festoonery-bench: the production's cost per frame, section by section, with vsync off
// and the music on the offline clock at 60 frames per second of music time.
#include <dlfcn.h>
#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>
#include <vector>

#include "lib/options.h"
#include "lib/session.h"
#include "lib/stats.h"
#include "log.h"
#include "main/video_driver.h"
#include "scenes/replay.h"
#include "scenes/greeting_words.h"
#include "scenes/production_info.h"
#include "scenes/scene/billboards.h"
#include "scenes/scene/sprites.h"
#include "scenes/scene_fireworks/scene_fireworks.h"
#include "scenes/scenemanager.h"
#include "util/music/music.h"
#include "util/util/profile.h"

// The scene manager presents its frame with SDL_GL_SwapBuffers; this program's own
// definition takes the call first, so the time at which submission ends is known.
namespace {
int64_t g_swapEnteredNs = 0;
}

extern "C" void SDL_GL_SwapBuffers(void) {
    using Swap = void (*)(void);
    static Swap real = reinterpret_cast<Swap>(dlsym(RTLD_NEXT, "SDL_GL_SwapBuffers"));
    g_swapEnteredNs = profile::nowNs();
    if (real) real();
}

namespace {

// Seeks to random frames the bench times (a fixed draw, so runs compare).
constexpr int kSeeks = 60;

const char kUsage[] =
    "Usage: festoonery-bench [OPTIONS]\n"
    "\n"
    "Plays the whole production in a window with vsync off, the music on the offline\n"
    "clock at RATE frames per second of music time, and measures each frame. For each\n"
    "section (text alone, beats 0-20; picture, text and waveform, 20-52; starfield and\n"
    "fireworks, 52 to the end) it prints the median and 95th percentile of\n"
    "  simulation  the scenes' particle updates\n"
    "  submission  the GL calls of the frame until the buffer swap, simulation excluded\n"
    "  frame       the whole frame, swap and glFinish included\n"
    "and the sparks drawn per second of frame time and the peak resident memory.\n"
    "Then the seeks of development mode: states kept along one replay of the whole\n"
    "production, and 60 seeks to random beats, each restoring the nearest state\n"
    "before it and simulating up to the beat (median and longest).\n"
    "\n"
    "Options:\n"
    "  --size WxH      window size (default 1280x720)\n"
    "  --samples N     multisamples of the window, as the demo's setting (default 4)\n"
    "  --fps RATE      frames per second of music time (default 60)\n"
    "  --limit N       measure at most the first N frames of each section (default all)\n"
    "  --seed N        seed of the random generator (default 1)\n"
    "  --archive FILE  the asset archive (default: data.mvt here, else beside this program)\n"
    "  --json FILE     also write the figures as JSON, for comparing commits\n"
    "  --words-file FILE  eight words of your own (one a line) in place of the\n"
    "                  greeting's, as festoonery-capture --words-file draws them\n"
    "  --particles P   how the particle scenes send their sparks: auto (the demo's\n"
    "                  way, default: cpu on a software renderer in frames at least\n"
    "                  540 pixels high, else fast where point sprites are supported,\n"
    "                  else reference), fast (point sprites), cpu (splatted by the\n"
    "                  CPU into a layer) or reference (four vertices per spark,\n"
    "                  client arrays)\n"
    "  --compare       the reference and the path of --particles on the same frames:\n"
    "                  each frame is simulated once and drawn both ways (alternating\n"
    "                  which goes first); a table for each and a last line with the\n"
    "                  fireworks section's ratios\n"
    "\n"
    "Before the production it draws 120 empty frames (clear, swap, glFinish): the floor\n"
    "this GL sets at this size and sample count. The line 'real time' gives each\n"
    "section's frame p95 of the path measured and the worst against the floor's p95.\n"
    "  --help          this text\n";

[[noreturn]] void usageError(const char* format, const char* value) {
    offline::usageError("festoonery-bench", format, value);
}

struct Section {
    const char* name;
    float fromBeat, toBeat;  // fromBeat <= beat < toBeat (the last one to the end)
    std::vector<double> simulation, submission, frame;  // milliseconds
    double frameSeconds = 0.0;
    int64_t sparks = 0;
    int64_t peakRss = 0;
};

bool fileExists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string programFolder() {
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    path[n] = '\0';
    char* slash = strrchr(path, '/');
    if (slash) *slash = '\0';
    return path;
}

std::string text(const GLubyte* s) { return s ? reinterpret_cast<const char*>(s) : "?"; }

}  // namespace

int main(int argc, char** argv) {
    setenv("FESTOONERY_UI", "script", 0);
    int width = 1280, height = 720, samples = 4;
    long long limit = -1;
    offline::Rate rate;
    uint32_t seed = 1;
    std::string archive, jsonPath;
    ParticlePath path = ParticlePath::Auto;
    bool compare = false;
    std::vector<std::string> words;  // empty: the production's
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) usageError("%s needs a value", argv[i]);
            return argv[++i];
        };
        auto whole = [&](const char* v, long long lo, long long hi) {
            char* end = nullptr;
            long long n = strtoll(v, &end, 10);
            if (!*v || *end || n < lo || n > hi) usageError("bad number '%s'", v);
            return n;
        };
        if (arg == "--help" || arg == "-h") {
            fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--size") {
            const char* v = value();
            if (!offline::parseSize(v, &width, &height)) usageError("bad size '%s' (WxH)", v);
        } else if (arg == "--samples") {
            samples = int(whole(value(), 0, 64));
        } else if (arg == "--fps") {
            const char* v = value();
            if (!offline::parseRate(v, &rate)) usageError("bad rate '%s'", v);
        } else if (arg == "--limit") {
            limit = whole(value(), 1, 1LL << 40);
        } else if (arg == "--seed") {
            seed = uint32_t(whole(value(), 0, 0xffffffffLL));
        } else if (arg == "--archive") {
            archive = value();
        } else if (arg == "--json") {
            jsonPath = value();
        } else if (arg == "--particles") {
            const char* v = value();
            if (!parseParticlePath(v, &path)) usageError("bad particle path '%s' (auto, fast, cpu or reference)", v);
        } else if (arg == "--compare") {
            compare = true;
        } else if (arg == "--words-file" && thisProduction().hasWords) {
            const char* v = value();
            std::string text, why;
            if (!readWordsFile(v, &text, &why)) usageError("cannot read --words-file %s", why.c_str());
            if (!parseGreetingWordsFile(text, &words, &why)) usageError("bad --words-file: %s", why.c_str());
        } else {
            usageError("unknown argument '%s'", argv[i]);
        }
    }
    if (archive.empty()) archive = fileExists("data.mvt") ? "data.mvt" : programFolder() + "/data.mvt";
    FILE* json = nullptr;
    if (!jsonPath.empty()) {
        json = fopen(jsonPath.c_str(), "w");
        if (!json) {
            fprintf(stderr, "festoonery-bench: cannot write %s: %s\n", jsonPath.c_str(), strerror(errno));
            return 1;
        }
    }

    // As the demo opens a window, so that the floor and the frames are a window's.
    chooseOpenGLScaling(false, false);
    offline::openWindow(width, height, samples, 0, "Festoonery! (benchmark)");
    GLint gotSamples = 0;
    glGetIntegerv(GL_SAMPLES, &gotSamples);
    offline::ProductionOptions options;
    options.archive = archive;
    options.rate = rate;
    options.seed = seed;
    setGreetingWords(words);
    offline::Production production(options, width, height);
    if (!words.empty()) {
        bool fontMissing = false;
        std::string why = undrawableWordsReason(words, &fontMissing);
        if (!why.empty()) usageError("%s", why.c_str());
    }
    const double bpm = production.bpm();
    const double length = production.lengthSeconds();
    const int64_t last = offline::lastFrameAtOrBefore(rate, length);

    // The production's own sections, each to the next one's start (the last to the end).
    const ProductionInfo& info = thisProduction();
    auto newSections = [&info] {
        std::vector<Section> sections;
        for (size_t i = 0; i < info.sections.size(); ++i) {
            float to = i + 1 < info.sections.size() ? info.sections[i + 1].startBeat : 1e9f;
            sections.push_back({info.sections[i].scenes, info.sections[i].startBeat, to, {}, {}, {}});
        }
        return sections;
    };
    const int lastSection = int(info.sections.size()) - 1;
    const double lastSectionBeat = info.sections.back().startBeat;
    // One table per way of drawing: the chosen one, or reference and fast to compare.
    setParticlePath(path);
    path = particlePath();  // auto resolved (and logged) here
    std::vector<ParticlePath> paths = compare ? std::vector<ParticlePath>{ParticlePath::Reference, path}
                                              : std::vector<ParticlePath>{path};
    std::vector<std::vector<Section>> tables(paths.size(), newSections());
    Fireworks* fireworks = nullptr;
    for (Scene* scene : production.manager->scenes)
        if (auto* f = dynamic_cast<Fireworks*>(scene)) fireworks = f;
    int capacity = 0;
    if (fireworks)
        for (const FireworksRocket* rocket : fireworks->rockets) capacity += rocket->sparkCount();
    BillboardBatch counted(capacity > 0 ? capacity : 1);

    // The floor: what the GL's own frame costs here, nothing drawn.
    std::vector<double> floorFrames;
    for (int i = 0; i < 120; ++i) {
        int64_t start = profile::nowNs();
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        SDL_GL_SwapBuffers();
        glFinish();
        floorFrames.push_back(double(profile::nowNs() - start) * 1e-6);
    }

    profile::enable(true);
    fprintf(stderr, "festoonery-bench: %lld frames at %dx%d, %lld/%lld fps of music time%s\n",
            static_cast<long long>(last + 1), width, height, static_cast<long long>(rate.num),
            static_cast<long long>(rate.den), compare ? ", particles drawn both ways" : "");
    for (int64_t n = 0; n <= last; ++n) {
        double beat = offline::frameSeconds(rate, n) * bpm / 60.0;
        const int index = sectionIndexAt(info, float(beat));
        if (limit > 0 && (long long)tables[0][index].frame.size() >= limit) {
            // Not measured, but advanced: the next section starts from its real state.
            production.simulateFrame(n);
            continue;
        }
        int sparks = 0;
        if (fireworks && index == lastSection) {
            counted.clear();
            for (const FireworksRocket* rocket : fireworks->rockets) rocket->drawTree(&counted);
            sparks = counted.count();
        }
        // advance: the separate simulation step's whole time when comparing (it is not
        // inside [start, end] then), else 0.
        auto record = [&](Section* section, double simulation, double advance, int64_t start, int64_t end) {
            double untilSwap = double((g_swapEnteredNs ? g_swapEnteredNs : end) - start) * 1e-6;
            section->simulation.push_back(simulation);
            section->submission.push_back(untilSwap - (compare ? 0.0 : simulation));
            double frame = double(end - start) * 1e-6 + advance;
            section->frame.push_back(frame);
            section->frameSeconds += frame * 1e-3;
            section->peakRss = offline::peakResidentBytes();
        };
        if (!compare) {
            setParticlePath(path);
            profile::takeSeconds(profile::kSimulation);
            int64_t start = profile::nowNs();
            g_swapEnteredNs = 0;
            production.drawFrame(n, nullptr);
            glFinish();
            int64_t end = profile::nowNs();
            record(&tables[0][index], profile::takeSeconds(profile::kSimulation) * 1e3, 0.0, start, end);
        } else {
            // Simulated once (its time counts in both), drawn both ways; the way that goes
            // first alternates, so neither always finds the caches the other left.
            profile::takeSeconds(profile::kSimulation);
            int64_t simulationStart = profile::nowNs();
            production.simulateFrame(n);
            double advance = double(profile::nowNs() - simulationStart) * 1e-6;
            double simulation = profile::takeSeconds(profile::kSimulation) * 1e3;
            for (int k = 0; k < 2; ++k) {
                int which = (n & 1) ? 1 - k : k;
                setParticlePath(paths[which]);
                int64_t start = profile::nowNs();
                g_swapEnteredNs = 0;
                production.redrawFrame(nullptr);
                glFinish();
                int64_t end = profile::nowNs();
                record(&tables[which][index], simulation, advance, start, end);
            }
        }
        // The spark count is what the frame holds, not what a way of drawing sends.
        for (auto& table : tables) table[index].sparks += sparks;
        if (n % 600 == 0) {
            fprintf(stderr, "  beat %.1f (frame %lld of %lld)\n", beat, static_cast<long long>(n),
                    static_cast<long long>(last + 1));
        }
    }
    setParticlePath(path);
    profile::enable(false);
    // What a seek or a capture from a late moment costs: the whole production replayed
    // from beat 0 without drawing.
    int64_t fastForwardStart = profile::nowNs();
    production.seek(last + 1);
    const double fastForwardSeconds = double(profile::nowNs() - fastForwardStart) * 1e-9;
    const bool simulationMarked = profile::scopeCount(profile::kSimulation) > 0;

    // Seeks as development mode makes them: states kept along one replay, then each seek
    // restores the nearest state before its frame and simulates up to it.
    const int64_t stateInterval = std::max<int64_t>(1, int64_t(kStateIntervalSeconds * rate.value() + 0.5));
    int64_t keepStart = profile::nowNs();
    production.keepStates(last + 1, stateInterval);
    const double keepSeconds = double(profile::nowNs() - keepStart) * 1e-9;
    std::mt19937 seekDraws(22);
    std::uniform_int_distribution<int64_t> seekFrame(0, last);
    std::vector<double> seekMs;
    for (int i = 0; i < kSeeks; ++i) {
        int64_t frame = seekFrame(seekDraws);
        int64_t seekStart = profile::nowNs();
        production.seek(frame);
        seekMs.push_back(double(profile::nowNs() - seekStart) * 1e-6);
    }
    double seekMax = 0.0;
    for (double ms : seekMs) seekMax = ms > seekMax ? ms : seekMax;

    // The particle updates alone over the whole fireworks section, undrawn: no rasteriser
    // threads share the cores or the caches, so this is what the simulation itself costs
    // per frame, its peak (the bursts) included.
    int64_t firstFireworks = 0;
    while (firstFireworks <= last && offline::frameSeconds(rate, firstFireworks) * bpm / 60.0 < lastSectionBeat)
        ++firstFireworks;
    std::vector<double> simulationAlone;
    if (firstFireworks <= last) {
        production.seek(firstFireworks);
        profile::enable(true);
        profile::takeSeconds(profile::kSimulation);
        for (int64_t n = firstFireworks; n <= last; ++n) {
            production.simulateFrame(n);
            simulationAlone.push_back(profile::takeSeconds(profile::kSimulation) * 1e3);
        }
        profile::enable(false);
    }
    double simulationAloneMax = 0.0;
    for (double ms : simulationAlone) simulationAloneMax = ms > simulationAloneMax ? ms : simulationAloneMax;

    std::string renderer = text(glGetString(GL_RENDERER)), version = text(glGetString(GL_VERSION));
    utsname machine;
    uname(&machine);
    char host[512];
    snprintf(host, sizeof host, "%s %s %s", machine.nodename, machine.sysname, machine.machine);
    printf("\nfestoonery-bench: %dx%d, %d samples, vsync off, %g fps of music time, %.1f bpm\n", width, height,
           gotSamples, rate.value(), bpm);
    printf("renderer: %s (%s), host: %s\n", renderer.c_str(), version.c_str(), host);
    for (size_t t = 0; t < tables.size(); ++t) {
        printf("particles: %s\n", particlePathName(paths[t]));
        printf("%-22s %7s | %17s | %17s | %17s | %12s | %8s\n", "section", "frames", "simulation ms",
               "submission ms", "frame ms", "sparks/s", "peak RSS");
        printf("%-22s %7s | %8s %8s | %8s %8s | %8s %8s | %12s | %8s\n", "", "", "median", "p95", "median", "p95",
               "median", "p95", "", "MiB");
        for (Section& s : tables[t]) {
            double sparksPerSecond = s.frameSeconds > 0 ? double(s.sparks) / s.frameSeconds : 0.0;
            printf("%-22s %7zu | %8.2f %8.2f | %8.2f %8.2f | %8.2f %8.2f | %12.0f | %8.1f\n", s.name,
                   s.frame.size(), offline::median(s.simulation), offline::percentile(s.simulation, 95),
                   offline::median(s.submission), offline::percentile(s.submission, 95), offline::median(s.frame),
                   offline::percentile(s.frame, 95), sparksPerSecond, double(s.peakRss) / (1024.0 * 1024.0));
        }
    }
    printf("fast-forward: the whole production (%lld frames at %g fps) simulated without drawing in %.3f s\n",
           static_cast<long long>(last + 1), rate.value(), fastForwardSeconds);
    printf("seek: %d seeks to random beats, median %.1f ms, max %.1f ms\n", int(seekMs.size()),
           offline::median(seekMs), seekMax);
    printf("seek states: %zu kept, one every %lld frames, %.0f MiB, made in %.2f s\n", production.keptStates(),
           static_cast<long long>(stateInterval), double(production.keptBytes()) / (1024.0 * 1024.0), keepSeconds);
    if (!simulationAlone.empty())
        printf("simulation alone: the fireworks section (%zu frames) updated without drawing: median %.2f, "
               "p95 %.2f, max %.2f ms per frame\n",
               simulationAlone.size(), offline::median(simulationAlone), offline::percentile(simulationAlone, 95),
               simulationAloneMax);
    if (!simulationMarked)
        printf("simulation: the scenes mark no particle updates (profile::Scope), so it reads 0 and the "
               "updates count as submission\n");
    if (const float* shift = measuredPointShift(gotSamples))
        printf("point sprites: moved by %.4g, %.4g pixels to cover what the quads cover (measured)\n", shift[0],
               shift[1]);
    const double floorP95 = offline::percentile(floorFrames, 95);
    printf("floor: empty frames median %.1f ms, p95 %.1f ms\n", offline::median(floorFrames), floorP95);
    {
        const std::vector<Section>& measured = tables.back();
        double worst = 0.0;
        for (const Section& s : measured) worst = std::max(worst, offline::percentile(s.frame, 95));
        printf("real time: text p95 %.1f ms, picture p95 %.1f ms, fireworks p95 %.1f ms; worst %.2f x floor\n",
               offline::percentile(measured[0].frame, 95), offline::percentile(measured[1].frame, 95),
               offline::percentile(measured[2].frame, 95), floorP95 > 0 ? worst / floorP95 : 0.0);
    }
    if (compare) {
        const Section& reference = tables[0].back();
        const Section& fast = tables[1].back();
        double medianRatio = offline::median(fast.frame) / offline::median(reference.frame);
        double p95Ratio = offline::percentile(fast.frame, 95) / offline::percentile(reference.frame, 95);
        printf("%s / reference: frame median %.2f, p95 %.2f\n", particlePathName(path), medianRatio, p95Ratio);
    }
    fflush(stdout);

    if (json) {
        fprintf(json, "{\n  \"width\": %d,\n  \"height\": %d,\n  \"samples\": %d,\n  \"fps\": %.6f,\n", width,
                height, gotSamples, rate.value());
        fprintf(json, "  \"bpm\": %.3f,\n  \"renderer\": %s,\n  \"gl_version\": %s,\n  \"host\": %s,\n", bpm,
                offline::jsonString(renderer).c_str(), offline::jsonString(version).c_str(),
                offline::jsonString(host).c_str());
        fprintf(json, "  \"particles\": %s,\n",
                offline::jsonString(compare ? "compare" : particlePathName(path)).c_str());
        fprintf(json, "  \"floor_ms\": {\"median\": %.4f, \"p95\": %.4f},\n", offline::median(floorFrames), floorP95);
        fprintf(json, "  \"simulation_marked\": %s,\n  \"sections\": [\n", simulationMarked ? "true" : "false");
        // Comparing: the fast way's figures (the reference's are in the table printed).
        for (int i = 0; i < 3; ++i) {
            Section& s = tables.back()[i];
            double sparksPerSecond = s.frameSeconds > 0 ? double(s.sparks) / s.frameSeconds : 0.0;
            fprintf(json,
                    "    {\"name\": %s, \"from_beat\": %.1f, \"to_beat\": %s, \"frames\": %zu,\n"
                    "     \"simulation_ms\": {\"median\": %.4f, \"p95\": %.4f},\n"
                    "     \"submission_ms\": {\"median\": %.4f, \"p95\": %.4f},\n"
                    "     \"frame_ms\": {\"median\": %.4f, \"p95\": %.4f},\n"
                    "     \"sparks_per_second\": %.1f, \"peak_rss_bytes\": %lld}%s\n",
                    offline::jsonString(s.name).c_str(), s.fromBeat,
                    i == 2 ? "null" : std::to_string(int(s.toBeat)).c_str(), s.frame.size(),
                    offline::median(s.simulation), offline::percentile(s.simulation, 95),
                    offline::median(s.submission), offline::percentile(s.submission, 95), offline::median(s.frame),
                    offline::percentile(s.frame, 95), sparksPerSecond, static_cast<long long>(s.peakRss),
                    i < 2 ? "," : "");
        }
        fprintf(json, "  ],\n  \"fast_forward_seconds\": %.4f,\n", fastForwardSeconds);
        fprintf(json, "  \"seek_ms\": {\"seeks\": %zu, \"median\": %.4f, \"max\": %.4f},\n", seekMs.size(),
                offline::median(seekMs), seekMax);
        fprintf(json, "  \"simulation_alone_ms\": {\"frames\": %zu, \"median\": %.4f, \"p95\": %.4f, \"max\": %.4f}\n}\n",
                simulationAlone.size(), offline::median(simulationAlone), offline::percentile(simulationAlone, 95),
                simulationAloneMax);
        if (fclose(json) != 0) {
            fprintf(stderr, "festoonery-bench: cannot write %s\n", jsonPath.c_str());
            _exit(1);
        }
    }
    // The production's shared resources stay until the process ends, as in the demo.
    _exit(0);
}
