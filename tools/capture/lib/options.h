// Command-line values of the offline tools (capture, benchmark) and the arithmetic that
// maps music time onto frame numbers.
#pragma once

#include <cstdint>
#include <string>

#include "util/util/virtual_clock.h"

namespace offline {

// "PROGRAM: <format with value>" and a pointer to PROGRAM --help on stderr, then exit
// status 2 (wrong options).
[[noreturn]] void usageError(const char* program, const char* format, const char* value);

// "60", "25", "60000/1001": positive integers, the fraction reduced; at most 1000 fps
// and a denominator of at most 1000000.
bool parseRate(const char* text, Rate* rate);

// A point of music time: "52b" in beats, "26.5s" in seconds (a non-negative number and
// its unit letter, nothing else).
struct TimePoint {
    double value = 0.0;
    bool beats = false;
    double seconds(double bpm) const { return beats ? value * 60.0 / bpm : value; }
};
bool parseTime(const char* text, TimePoint* point);

// "1920x1080": both positive, at most 65536.
bool parseSize(const char* text, int* width, int* height);

// The first frame at or after a time and the last one at or before it. A time that is
// a frame's own position (to a microsecond of a frame) gives that frame.
int64_t firstFrameAtOrAfter(const Rate& rate, double seconds);
int64_t lastFrameAtOrBefore(const Rate& rate, double seconds);

// What kind of output a capture path names: a video file made by ffmpeg (".mp4",
// ".mkv", ".webm", case as given) or a folder of PNG frames (anything else).
enum class OutputKind { Folder, Mp4, Mkv, Webm };
OutputKind outputKind(const std::string& path);

// "frame_000042.png": six digits, more when the number needs them.
std::string frameFileName(int64_t index);

// "1:05" (minutes:seconds) or "1:02:05" for remaining times; "-:--" when unknown.
std::string formatDuration(double seconds);

}  // namespace offline
