#include "private_server.h"

#include <pulse/pulseaudio.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>

namespace pulsecheck {
namespace {

constexpr const char* kSink = "festoonery";

double monotonic() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// PipeWire with nothing but what a PulseAudio client needs: the native protocol for
// WirePlumber, the PulseAudio service on `socket`, and the null sink at the soundtrack's
// rate, so that nothing resamples, and a fixed quantum of 1024 frames (Debian's default;
// the graph would otherwise follow the latency its clients ask for). The sink drives
// the graph from its own timer.
std::string pipewireConfig(const std::string& socket) {
    return "context.properties = {\n"
           "    core.daemon = true\n"
           "    core.name = pipewire-0\n"
           "    default.clock.rate = 44100\n"
           "    default.clock.allowed-rates = [ 44100 ]\n"
           "    default.clock.quantum = 1024\n"
           "    default.clock.min-quantum = 1024\n"
           "    default.clock.max-quantum = 1024\n"
           "    link.max-buffers = 16\n"
           "    mem.allow-mlock = false\n"
           "}\n"
           "context.spa-libs = {\n"
           "    audio.convert.* = audioconvert/libspa-audioconvert\n"
           "    support.* = support/libspa-support\n"
           "}\n"
           "context.modules = [\n"
           "    { name = libpipewire-module-protocol-native }\n"
           "    { name = libpipewire-module-metadata }\n"
           "    { name = libpipewire-module-spa-node-factory }\n"
           "    { name = libpipewire-module-client-node }\n"
           "    { name = libpipewire-module-access }\n"
           "    { name = libpipewire-module-adapter }\n"
           "    { name = libpipewire-module-link-factory }\n"
           "    { name = libpipewire-module-protocol-pulse\n"
           "      args = { server.address = [ \"unix:" + socket + "\" ] } }\n"
           "]\n"
           "context.objects = [\n"
           "    { factory = spa-node-factory\n"
           "      args = { factory.name = support.node.driver node.name = Dummy-Driver\n"
           "               node.group = pipewire.dummy priority.driver = 20000 } }\n"
           "    { factory = adapter\n"
           "      args = { factory.name = support.null-audio-sink node.name = " + kSink + "\n"
           "               media.class = Audio/Sink audio.rate = 44100 audio.channels = 2\n"
           "               audio.position = [ FL FR ] object.linger = true\n"
           "               monitor.channel-volumes = true } }\n"
           "]\n";
}

std::string lastLine(const std::string& path) {
    std::ifstream in(path);
    std::string line, last;
    while (std::getline(in, line))
        if (!line.empty()) last = line;
    return last;
}

// The server's default sink, "" while it names none (or does not answer).
std::string defaultSink() {
    pa_mainloop* loop = pa_mainloop_new();
    pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "festoonery-audio-clock probe");
    std::string name;
    bool done = false;
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        pa_operation* op = nullptr;
        double until = monotonic() + 2.0;
        while (!done && monotonic() < until) {
            pa_context_state_t state = pa_context_get_state(context);
            if (!PA_CONTEXT_IS_GOOD(state)) break;
            if (state == PA_CONTEXT_READY && !op) {
                op = pa_context_get_server_info(
                    context,
                    [](pa_context*, const pa_server_info* info, void* out) {
                        if (info && info->default_sink_name)
                            *static_cast<std::string*>(out) = info->default_sink_name;
                    },
                    &name);
            }
            if (op && pa_operation_get_state(op) != PA_OPERATION_RUNNING) done = true;
            pa_mainloop_iterate(loop, 0, nullptr);
            usleep(1000);
        }
        if (op) pa_operation_unref(op);
        pa_context_disconnect(context);
    }
    pa_context_unref(context);
    pa_mainloop_free(loop);
    return name;
}

}  // namespace

bool PrivateServer::start(ServerKind kind, bool combined, std::string* why) {
    char dir[] = "/tmp/festoonery-pulse-XXXXXX";
    if (!mkdtemp(dir)) {
        *why = std::string("no folder: ") + strerror(errno);
        return false;
    }
    dir_ = dir;
    mkdir((dir_ + "/runtime").c_str(), 0700);
    bool ok = kind == ServerKind::PipeWire ? startPipeWire(why) : startPulseAudio(combined, why);
    if (!ok) stop();
    return ok;
}

pid_t PrivateServer::spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                           const char* log) {
    pid_t pid = fork();
    if (pid != 0) {
        if (pid > 0) children_.push_back(pid);
        return pid;
    }
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    setenv("XDG_RUNTIME_DIR", (dir_ + "/runtime").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir_ + "/config").c_str(), 1);
    setenv("XDG_STATE_HOME", (dir_ + "/state").c_str(), 1);
    setenv("HOME", dir_.c_str(), 1);
    for (const std::string& e : env) putenv(strdup(e.c_str()));
    std::string out = log ? dir_ + "/" + log : "/dev/null";
    if (FILE* f = fopen(out.c_str(), "w")) {
        dup2(fileno(f), 1);
        dup2(fileno(f), 2);
    }
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    fprintf(stderr, "cannot run %s: %s\n", args[0], strerror(errno));
    _exit(127);
}

bool PrivateServer::waitForFile(const std::string& path, double seconds, std::string* why) {
    double until = monotonic() + seconds;
    while (monotonic() < until) {
        for (pid_t pid : children_) {
            int status;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                *why = "a server process ended early";
                children_.erase(std::find(children_.begin(), children_.end(), pid));
                return false;
            }
        }
        if (access(path.c_str(), F_OK) == 0) return true;
        usleep(50000);
    }
    *why = "no " + path + " within " + std::to_string(int(seconds)) + " s";
    return false;
}

bool PrivateServer::startPulseAudio(bool combined, std::string* why) {
    std::string socket = dir_ + "/native";
    std::vector<std::string> argv = {
        "pulseaudio", "--daemonize=no", "--system=no", "-n", "--exit-idle-time=-1",
        "--use-pid-file=no", "--realtime=no", "--high-priority=no", "--enable-memfd=no",
        "--log-target=stderr", "--log-level=error",
        std::string("--load=module-null-sink sink_name=") + kSink +
            " rate=44100 format=s16le channels=2",
        "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket};
    if (combined)
        argv.push_back(std::string("--load=module-combine-sink sink_name=combined slaves=") + kSink);
    if (spawn(argv, {}, "pulseaudio.log") < 0 || !waitForFile(socket, 10.0, why)) {
        std::string last = lastLine(dir_ + "/pulseaudio.log");
        if (!last.empty()) *why += " (" + last + ")";
        return false;
    }
    setenv("PULSE_SERVER", ("unix:" + socket).c_str(), 1);
    if (combined) setenv("PULSE_SINK", "combined", 1);
    return true;
}

bool PrivateServer::startPipeWire(std::string* why) {
    std::string socket = dir_ + "/native", bus = dir_ + "/bus", conf = dir_ + "/pipewire.conf";
    {
        std::ofstream out(conf);
        out << pipewireConfig(socket);
        if (!out) {
            *why = "cannot write " + conf;
            return false;
        }
    }
    // WirePlumber leaves without a session bus (its logind and device reservation
    // parts ask for one); PipeWire asks for one too and logs an error otherwise.
    std::string address = "DBUS_SESSION_BUS_ADDRESS=unix:path=" + bus;
    if (spawn({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=unix:path=" + bus},
              {}, "dbus.log") < 0 ||
        !waitForFile(bus, 10.0, why)) {
        *why = "dbus-daemon: " + *why;
        return false;
    }
    if (spawn({"pipewire", "-c", conf}, {address}, "pipewire.log") < 0 ||
        !waitForFile(socket, 10.0, why)) {
        *why = "pipewire: " + *why + " (" + lastLine(dir_ + "/pipewire.log") + ")";
        return false;
    }
    if (spawn({"wireplumber"}, {address}, "wireplumber.log") < 0) {
        *why = "wireplumber could not be started";
        return false;
    }
    setenv("PULSE_SERVER", ("unix:" + socket).c_str(), 1);
    // Streams are linked by WirePlumber; it is at work once it has made the null sink
    // the default.
    double until = monotonic() + 10.0;
    while (defaultSink() != kSink) {
        int status;
        if (waitpid(children_.back(), &status, WNOHANG) == children_.back()) {
            children_.pop_back();
            *why = "wireplumber ended (" + lastLine(dir_ + "/wireplumber.log") + ")";
            return false;
        }
        if (monotonic() > until) {
            *why = "WirePlumber did not make the null sink the default within 10 s";
            return false;
        }
        usleep(100000);
    }
    return true;
}

void PrivateServer::stop() {
    for (auto it = children_.rbegin(); it != children_.rend(); ++it) {
        kill(*it, SIGTERM);
        int status;
        waitpid(*it, &status, 0);
    }
    children_.clear();
    if (!dir_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
        dir_.clear();
    }
}

}  // namespace pulsecheck
