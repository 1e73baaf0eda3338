#include "util/util/util.h"

#include <GL/glew.h>
#include <FTGL/ftgl.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "log.h"
#include "platform/system.h"
#include "util/data/data.h"
#include "util/util/reloadable.h"

namespace {
constexpr size_t kTextBufferSize = 260;
constexpr int kFrameSlots = 5;
constexpr float kMaxFrameDelta = 0.25f;  // seconds
constexpr float kInitialFrameTime = 0.0001f;  // seconds

float g_secondsPerTick = 0.0f;
int64_t g_startCount = 0;
uint8_t g_slotIndex = 0;
float g_slots[kFrameSlots] = {kInitialFrameTime, kInitialFrameTime, kInitialFrameTime,
                              kInitialFrameTime, kInitialFrameTime};
double g_previousTime = 0.0;  // seconds since the start count

double counterSeconds() {
    int64_t count = 0;
    platform::performanceCounter(&count);
    return double(count - g_startCount) * double(g_secondsPerTick);
}
}  // namespace

float frameTime = kInitialFrameTime;

FTFont* loadFont(const char* path) {
    FILE* file = dataOpen(path, "rb");
    if (!file) FATAL("fp is NULL");
    fseek(file, 0, SEEK_END);
    long length = ftell(file);
    rewind(file);
    // One spare byte so an empty file still gets a buffer and fails on the read below.
    unsigned char* buffer = length >= 0 ? static_cast<unsigned char*>(malloc(size_t(length) + 1)) : nullptr;
    if (!buffer) FATAL("Failed to allocate memory for data buffer loading %s!", path);
    long got = long(fread(buffer, 1, size_t(length), file));
    if (got <= 0) FATAL("Tried to read %i bytes from %s, got %i", int(length), path, int(got));
    fclose(file);
    // FTGL reads glyphs from the buffer for the font's whole life: it is never freed.
    return fontFromMemory(buffer, size_t(got), path);
}

FTFont* fontFromMemory(const unsigned char* bytes, size_t size, const char* label) {
    FTFont* font = new FTBufferFont(bytes, size);
    // A font FreeType cannot open (damaged, cut short) must stop here: FTGL's later calls
    // on such a font crash.
    if (FT_Error error = font->Error()) {
        delete font;
        FATAL("Failed to load font %s: FreeType error 0x%02x (not a usable TrueType font?)", label,
              unsigned(error));
    }
    return font;
}

void watchFont(FTFont** slot, const char* path) {
    if (!reloadable::enabled()) return;
    std::string file = path;
    reloadable::add(file, [slot, file] {
        FTFont* fresh = loadFont(file.c_str());
        unsigned size = *slot ? (*slot)->FaceSize() : 48;
        if (!fresh->FaceSize(size, 72) || !fresh->CharMap(ft_encoding_unicode)) {
            delete fresh;
            FATAL("Failed to set the size of font %s", file.c_str());
        }
        delete *slot;
        *slot = fresh;
    });
}

void fontPrintf(FTFont* font, const char* format, ...) {
    if (!format) return;
    char text[kTextBufferSize];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    for (GLenum unit = GL_TEXTURE1; unit <= GL_TEXTURE4; ++unit) {
        glActiveTexture(unit);
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    glActiveTexture(GL_TEXTURE0);
    font->Render(text, -1, FTPoint(0, 0, 0), FTPoint(0, 0, 0), FTGL::RENDER_ALL);
}

void setFrameTimerConstants(float secondsPerTick, int64_t startCount) {
    g_secondsPerTick = secondsPerTick;
    g_startCount = startCount;
}

void updateFrameTime() {
    g_slotIndex = uint8_t((g_slotIndex + 1) % kFrameSlots);
    double now = counterSeconds();
    // Without a tick length (constants never set) time cannot advance: no spinning then.
    while (now == g_previousTime && g_secondsPerTick > 0.0f) now = counterSeconds();
    float delta = float(now - g_previousTime);
    if (delta > kMaxFrameDelta) delta = kMaxFrameDelta;
    g_slots[g_slotIndex] = delta;
    g_previousTime = now;
    float sum = 0.0f;
    for (float slot : g_slots) sum += slot;
    frameTime = sum * 0.2f;
}

FrameTimerState frameTimerState() {
    FrameTimerState state;
    state.secondsPerTick = g_secondsPerTick;
    state.startCount = g_startCount;
    state.slotIndex = g_slotIndex;
    for (int i = 0; i < kFrameSlots; ++i) state.slots[i] = g_slots[i];
    state.previousTime = g_previousTime;
    state.frameTime = frameTime;
    return state;
}

void setFrameTimerState(const FrameTimerState& state) {
    g_secondsPerTick = state.secondsPerTick;
    g_startCount = state.startCount;
    g_slotIndex = state.slotIndex;
    for (int i = 0; i < kFrameSlots; ++i) g_slots[i] = state.slots[i];
    g_previousTime = state.previousTime;
    frameTime = state.frameTime;
}

void restartFrameDelta() { g_previousTime = counterSeconds(); }

void resetFrameTimer() {
    g_slotIndex = 0;
    for (float& slot : g_slots) slot = kInitialFrameTime;
    g_previousTime = 0.0;
    frameTime = kInitialFrameTime;
}
