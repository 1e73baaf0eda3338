#include "output.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "image_io.h"

namespace offline {

namespace {
std::vector<std::string> g_createdFolders;  // by prepareFolder, parents first
}

void removeCreatedFolders() {
    // rmdir removes only empty folders: frames already written stay.
    for (auto it = g_createdFolders.rbegin(); it != g_createdFolders.rend(); ++it) rmdir(it->c_str());
    g_createdFolders.clear();
}

bool prepareFolder(const std::string& path, std::string* error) {
    if (path.empty()) {
        *error = "no output folder given";
        return false;
    }
    // Every parent in turn, as mkdir -p.
    for (size_t at = 1; at <= path.size(); ++at) {
        if (at != path.size() && path[at] != '/') continue;
        std::string part = path.substr(0, at);
        if (mkdir(part.c_str(), 0777) == 0) {
            g_createdFolders.push_back(part);
        } else if (errno != EEXIST) {
            *error = "cannot create the folder " + part + ": " + strerror(errno);
            removeCreatedFolders();
            return false;
        }
    }
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        *error = path + " exists and is not a folder";
        return false;
    }
    if (access(path.c_str(), W_OK | X_OK) != 0) {
        *error = "cannot write into the folder " + path + ": " + strerror(errno);
        return false;
    }
    return true;
}

bool FolderOutput::write(const unsigned char* pixels, int width, int height) {
    std::string path = folder_ + "/" + frameFileName(next_);
    if (!writePng(path.c_str(), width, height, pixels, long(width) * 4, true, false, level_, &error_)) return false;
    ++next_;
    return true;
}

std::string findExecutable(const char* name) {
    const char* path = getenv("PATH");
    if (!path) return "";
    std::string all(path);
    size_t start = 0;
    while (start <= all.size()) {
        size_t end = all.find(':', start);
        if (end == std::string::npos) end = all.size();
        std::string dir = all.substr(start, end - start);
        if (dir.empty()) dir = ".";
        std::string candidate = dir + "/" + name;
        struct stat info;
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return "";
}

bool FfmpegOutput::start(const std::string& ffmpeg, const std::string& path, OutputKind kind, int width,
                         int height, const Rate& rate, const std::string& wavPath) {
    width_ = width;
    height_ = height;
    char size[32], frameRate[64];
    snprintf(size, sizeof size, "%dx%d", width, height);
    snprintf(frameRate, sizeof frameRate, "%lld/%lld", static_cast<long long>(rate.num),
             static_cast<long long>(rate.den));
    std::vector<std::string> args = {ffmpeg, "-hide_banner", "-loglevel", "error", "-y",
                                     "-f", "rawvideo", "-pix_fmt", "rgba", "-s", size, "-framerate", frameRate,
                                     "-i", "-"};
    if (!wavPath.empty()) {
        args.insert(args.end(), {"-i", wavPath, "-map", "0:v", "-map", "1:a"});
    }
    // Rows arrive bottom first; 4:2:0 video needs even sizes.
    args.insert(args.end(), {"-vf", "vflip,pad=ceil(iw/2)*2:ceil(ih/2)*2"});
    if (kind == OutputKind::Webm) {
        args.insert(args.end(), {"-c:v", "libvpx-vp9", "-crf", "30", "-b:v", "0", "-row-mt", "1", "-pix_fmt",
                                 "yuv420p"});
        if (!wavPath.empty()) args.insert(args.end(), {"-c:a", "libopus", "-b:a", "160k"});
    } else {
        args.insert(args.end(), {"-c:v", "libx264", "-preset", "medium", "-crf", "18", "-pix_fmt", "yuv420p"});
        if (!wavPath.empty()) {
            if (kind == OutputKind::Mkv) args.insert(args.end(), {"-c:a", "flac"});
            else args.insert(args.end(), {"-c:a", "aac", "-b:a", "192k"});
        }
        if (kind == OutputKind::Mp4) args.insert(args.end(), {"-movflags", "+faststart"});
    }
    args.push_back(path);

    int fds[2];
    if (pipe(fds) != 0) {
        error_ = std::string("cannot make a pipe to ffmpeg: ") + strerror(errno);
        return false;
    }
    // A failed exec is told through a second pipe that closes on a successful one.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        error_ = std::string("cannot make a pipe to ffmpeg: ") + strerror(errno);
        close(fds[0]);
        close(fds[1]);
        return false;
    }
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    child_ = fork();
    if (child_ < 0) {
        error_ = std::string("cannot start ffmpeg: ") + strerror(errno);
        return false;
    }
    if (child_ == 0) {
        dup2(fds[0], 0);
        close(fds[0]);
        close(fds[1]);
        close(report[0]);
        execv(argv[0], argv.data());
        int code = errno;
        ssize_t ignored = ::write(report[1], &code, sizeof code);
        (void)ignored;
        _exit(127);
    }
    close(fds[0]);
    close(report[1]);
    int code = 0;
    ssize_t got = read(report[0], &code, sizeof code);
    close(report[0]);
    if (got == ssize_t(sizeof code)) {
        close(fds[1]);
        waitpid(child_, nullptr, 0);
        child_ = -1;
        error_ = "cannot run " + ffmpeg + ": " + strerror(code);
        return false;
    }
    // A closed pipe (ffmpeg gave up) shows as a failed write, not as a signal.
    signal(SIGPIPE, SIG_IGN);
    pipe_ = fdopen(fds[1], "wb");
    return pipe_ != nullptr;
}

bool FfmpegOutput::write(const unsigned char* pixels, int width, int height) {
    if (!pipe_) return false;
    if (width != width_ || height != height_) {
        error_ = "the frame size changed during the video";
        return false;
    }
    size_t bytes = size_t(width) * height * 4;
    if (fwrite(pixels, 1, bytes, pipe_) != bytes) {
        error_ = std::string("ffmpeg stopped taking frames: ") + strerror(errno);
        return false;
    }
    return true;
}

bool FfmpegOutput::finish() {
    if (!pipe_) return false;
    bool written = fclose(pipe_) == 0;
    pipe_ = nullptr;
    int status = 0;
    waitpid(child_, &status, 0);
    child_ = -1;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        error_ = "ffmpeg failed (exit status " +
                 std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status)) +
                 "); its messages are above";
        return false;
    }
    if (!written) {
        error_ = "the last frames did not reach ffmpeg";
        return false;
    }
    return true;
}

FfmpegOutput::~FfmpegOutput() {
    if (pipe_) fclose(pipe_);
    if (child_ > 0) waitpid(child_, nullptr, 0);
}

}  // namespace offline
