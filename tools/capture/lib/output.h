// Where captured frames go: numbered PNG files in a folder, or raw RGBA frames piped
// into ffmpeg, which encodes the video and muxes the soundtrack's section beside it.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <string>

#include "options.h"

namespace offline {

class FrameOutput {
public:
    virtual ~FrameOutput() = default;
    // pixels: RGBA rows, bottom row first (as OpenGL reads them), width * 4 bytes apart.
    virtual bool write(const unsigned char* pixels, int width, int height) = 0;
    // Completes the output; false with the reason when it could not be completed.
    virtual bool finish() = 0;
    const std::string& error() const { return error_; }

protected:
    std::string error_;
};

// Creates the folder (and its parents) when missing; false with the reason when it
// cannot be created or written into.
bool prepareFolder(const std::string& path, std::string* error);
// Removes the folders prepareFolder created, deepest first, where they are still empty
// (a failed capture leaves no empty folder of its own behind).
void removeCreatedFolders();

class FolderOutput : public FrameOutput {
public:
    // Files are numbered from firstIndex: a frame's index in the whole production.
    FolderOutput(const std::string& folder, int level, int64_t firstIndex = 0)
        : folder_(folder), level_(level), next_(firstIndex), first_(firstIndex) {}
    bool write(const unsigned char* pixels, int width, int height) override;
    bool finish() override { return true; }
    int64_t written() const { return next_ - first_; }

private:
    std::string folder_;
    int level_;
    int64_t next_;
    int64_t first_;
};

// The ffmpeg found on PATH ("" when there is none).
std::string findExecutable(const char* name);

class FfmpegOutput : public FrameOutput {
public:
    // Starts ffmpeg for a video of width x height at rate, with the WAV file's sound when
    // wavPath is not empty. False with the reason when it cannot be started.
    bool start(const std::string& ffmpeg, const std::string& path, OutputKind kind, int width, int height,
               const Rate& rate, const std::string& wavPath);
    bool write(const unsigned char* pixels, int width, int height) override;
    // Closes the pipe and waits for ffmpeg; its exit status decides.
    bool finish() override;
    ~FfmpegOutput() override;

private:
    FILE* pipe_ = nullptr;
    pid_t child_ = -1;
    int width_ = 0, height_ = 0;
};

}  // namespace offline
