#include "options.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace offline {

void usageError(const char* program, const char* format, const char* value) {
    fprintf(stderr, "%s: ", program);
    fprintf(stderr, format, value);
    fprintf(stderr, "\nTry '%s --help'.\n", program);
    exit(2);
}

namespace {

// A whole decimal number of the text, nothing else (no sign, no blanks).
bool parseWhole(const char* begin, const char* end, int64_t limit, int64_t* out) {
    if (begin == end) return false;
    int64_t value = 0;
    for (const char* p = begin; p < end; ++p) {
        if (*p < '0' || *p > '9') return false;
        value = value * 10 + (*p - '0');
        if (value > limit) return false;
    }
    *out = value;
    return true;
}

int64_t gcd(int64_t a, int64_t b) {
    while (b != 0) {
        int64_t t = a % b;
        a = b;
        b = t;
    }
    return a;
}

// Frame positions within this part of a frame count as the frame itself, so a time
// written in decimals ("26.5s" at 60000/1001) still lands on the frame it names.
constexpr double kFrameSlack = 1e-6;

}  // namespace

bool parseRate(const char* text, Rate* rate) {
    if (!text) return false;
    const char* end = text + strlen(text);
    const char* slash = strchr(text, '/');
    int64_t num = 0, den = 1;
    if (slash) {
        if (!parseWhole(text, slash, 1000000000, &num) || !parseWhole(slash + 1, end, 1000000, &den))
            return false;
    } else if (!parseWhole(text, end, 1000000000, &num)) {
        return false;
    }
    if (num <= 0 || den <= 0) return false;
    int64_t common = gcd(num, den);
    num /= common;
    den /= common;
    if (double(num) / double(den) > 1000.0) return false;
    rate->num = num;
    rate->den = den;
    return true;
}

bool parseTime(const char* text, TimePoint* point) {
    if (!text) return false;
    size_t length = strlen(text);
    if (length < 2) return false;
    char unit = text[length - 1];
    if (unit != 'b' && unit != 's') return false;
    std::string number(text, length - 1);
    // Only digits and one point: strtod would also take signs, blanks, hex and "inf".
    int points = 0;
    for (char c : number) {
        if (c == '.') ++points;
        else if (c < '0' || c > '9') return false;
    }
    if (points > 1 || number == ".") return false;
    errno = 0;
    char* stop = nullptr;
    double value = strtod(number.c_str(), &stop);
    if (errno != 0 || *stop != '\0' || !std::isfinite(value)) return false;
    point->value = value;
    point->beats = unit == 'b';
    return true;
}

bool parseSize(const char* text, int* width, int* height) {
    if (!text) return false;
    const char* x = strchr(text, 'x');
    if (!x) return false;
    int64_t w = 0, h = 0;
    if (!parseWhole(text, x, 65536, &w) || !parseWhole(x + 1, text + strlen(text), 65536, &h)) return false;
    if (w <= 0 || h <= 0) return false;
    *width = int(w);
    *height = int(h);
    return true;
}

int64_t firstFrameAtOrAfter(const Rate& rate, double seconds) {
    double frames = seconds * double(rate.num) / double(rate.den);
    int64_t n = int64_t(std::ceil(frames - kFrameSlack));
    return n < 0 ? 0 : n;
}

int64_t lastFrameAtOrBefore(const Rate& rate, double seconds) {
    double frames = seconds * double(rate.num) / double(rate.den);
    return int64_t(std::floor(frames + kFrameSlack));
}

OutputKind outputKind(const std::string& path) {
    auto endsWith = [&](const char* suffix) {
        size_t n = strlen(suffix);
        return path.size() > n && path.compare(path.size() - n, n, suffix) == 0;
    };
    if (endsWith(".mp4")) return OutputKind::Mp4;
    if (endsWith(".mkv")) return OutputKind::Mkv;
    if (endsWith(".webm")) return OutputKind::Webm;
    return OutputKind::Folder;
}

std::string frameFileName(int64_t index) {
    char name[64];
    snprintf(name, sizeof name, "frame_%06lld.png", static_cast<long long>(index));
    return name;
}

std::string formatDuration(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) return "-:--";
    long long whole = static_cast<long long>(seconds + 0.5);
    char text[32];
    if (whole >= 3600)
        snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
    else
        snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
    return text;
}

}  // namespace offline
