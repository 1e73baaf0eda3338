#include "log.h"

#include <GL/glew.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "recover.h"
#include "platform/msgbox.h"
#include "platform/system.h"

namespace {

// Buffer sizes of the box texts, in bytes; longer texts are cut at these sizes.
constexpr size_t kFatalCaptionSize = 100;
constexpr size_t kDetailSize = 5000;
constexpr size_t kBoxTextSize = 5000;
constexpr size_t kGLErrorSize = 200;
constexpr size_t kExtensionCaptionSize = 500;
constexpr size_t kExtensionTextSize = 5000;

FatalHook g_fatalHook = nullptr;

// recoverFatal's state: how deep the scopes are, and the error texts seen in the
// innermost one so far.
int g_recoverDepth = 0;
std::string g_recoverText;

struct RecoveredFatal {};

void noteRecovered(const char* text) {
    std::string line = text ? text : "";
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    size_t first = line.find_first_not_of(' ');
    size_t last = line.find_last_not_of(' ');
    line = first == std::string::npos ? std::string() : line.substr(first, last - first + 1);
    if (line.empty()) return;
    if (!g_recoverText.empty()) g_recoverText += "; ";
    g_recoverText += line;
}

[[noreturn]] void unwindRecovered(const char* text) {
    noteRecovered(text);
    throw RecoveredFatal{};
}

char* allocText(size_t size) {
    char* text = static_cast<char*>(malloc(size));
    if (text) text[0] = '\0';
    return text;
}

}  // namespace

char* formatLogPrefix(char* out, size_t size, const LogTime& t) {
    snprintf(out, size, "%04d-%02d-%02d %2d:%02d:%02d:%03d ", t.year, t.month, t.day, t.hour,
             t.minute, t.second, t.millisecond);
    return out;
}

void logPrefix() {
    platform::UtcTime now = platform::utcNow();
    LogTime t{now.year, now.month, now.day, now.hour, now.minute, now.second, now.millisecond};
    char prefix[64];
    printf("%s", formatLogPrefix(prefix, sizeof prefix, t));
}

void logLine(const char* format, ...) {
    logPrefix();
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
}

void setFatalHook(FatalHook hook) { g_fatalHook = hook; }

void endProcessFatally() {
    fflush(stdout);
    if (g_fatalHook) g_fatalHook();
    exit(1);
}

void fatalError(const char* file, int line, const char* format, ...) {
    if (g_recoverDepth > 0) {
        char detail[kDetailSize];
        va_list args;
        va_start(args, format);
        vsnprintf(detail, sizeof detail, format, args);
        va_end(args);
        unwindRecovered(detail);
    }
    char* caption = allocText(kFatalCaptionSize);
    char* detail = allocText(kDetailSize);
    char* text = allocText(kBoxTextSize);
    if (caption && detail && text) {
        snprintf(caption, kFatalCaptionSize, "Error in file %s:%i", file, line);
        va_list args;
        va_start(args, format);
        vsnprintf(detail, kDetailSize, format, args);
        va_end(args);
        snprintf(text, kBoxTextSize, "%s\n\n%s", caption, detail);
        platform::messageBox(text, caption, platform::MB_OK);
    } else {
        platform::messageBox("Out of memory while reporting an error", "Error", platform::MB_OK);
    }
    free(caption);
    free(detail);
    free(text);
    endProcessFatally();
}

void fatalAt(const char* file, int line) {
    char text[kFatalCaptionSize + 300];
    snprintf(text, sizeof text, "Error in file %s:%i", file, line);
    if (g_recoverDepth > 0) unwindRecovered(text);
    platform::messageBox(text, "Error", platform::MB_OK);
    endProcessFatally();
}

void fatalText(const char* text) {
    if (g_recoverDepth > 0) unwindRecovered(text);
    platform::messageBox(text, "Error", platform::MB_OK);
    endProcessFatally();
}

void fatalAtReason(const char* file, int line, const char* format, ...) {
    char* reason = allocText(kDetailSize);
    char* text = allocText(kBoxTextSize);
    if (reason && text) {
        va_list args;
        va_start(args, format);
        vsnprintf(reason, kDetailSize, format, args);
        va_end(args);
        // Under a development-mode reload (a MIDI file refused for an event it does not
        // take) the reason unwinds to the reload like every other fatal path's.
        if (g_recoverDepth > 0) {
            std::string copy = reason;
            free(reason);
            free(text);
            unwindRecovered(copy.c_str());
        }
        snprintf(text, kBoxTextSize, "Error in file %s:%i\n\n%s", file, line, reason);
        platform::messageBox(text, "Error", platform::MB_OK);
    } else {
        platform::messageBox("Out of memory while reporting an error", "Error", platform::MB_OK);
    }
    free(reason);
    free(text);
    endProcessFatally();
}

void formatGLError(char* out, size_t size, unsigned code, const char* file, int line) {
    const char* format;
    switch (code) {
        case GL_INVALID_ENUM: format = "GL_INVALID_ENUM in file %s:%i"; break;
        case GL_INVALID_VALUE: format = "GL_INVALID_VALUE in file %s:%i"; break;
        case GL_INVALID_OPERATION: format = "GL_INVALID_OPERATION in file %s:%i"; break;
        case GL_STACK_OVERFLOW: format = "GL_STACK_OVERFLOW in file %s:%i"; break;
        case GL_STACK_UNDERFLOW: format = "GL_STACK_UNDERFLOW in file %s:%i"; break;
        case GL_OUT_OF_MEMORY: format = "GL_OUT_OF_MEMORY in file %s:%i"; break;
        default: format = "Unknown GL error in file %s:%i"; break;
    }
    snprintf(out, size, format, file, line);
}

void checkGL(const char* file, int line) {
    GLenum code = glGetError();
    if (code == GL_NO_ERROR) return;
    char* text = allocText(kGLErrorSize);
    if (text) formatGLError(text, kGLErrorSize, code, file, line);
    if (g_recoverDepth > 0) {
        std::string copy = text ? text : "OpenGL error";
        free(text);
        unwindRecovered(copy.c_str());
    }
    platform::messageBox(text ? text : "OpenGL error", "OpenGL error detected", platform::MB_OK);
    free(text);
    endProcessFatally();
}

void requireGL(const void* entryPoint, const char* name, const char* file, int line) {
    if (entryPoint) return;
    fatalError(file, line,
               "The OpenGL driver does not offer %s, which this demo needs. Run it on a "
               "driver with the extensions it asked about.\n",
               name);
}

void errorAt(const char* file, int line, const char* message) {
    char caption[kFatalCaptionSize + 300];
    snprintf(caption, sizeof caption, "ERROR at %s:%i", file, line);
    if (g_recoverDepth > 0) {
        noteRecovered(message);
        return;
    }
    platform::messageBox(message, caption, platform::MB_OK);
}

void askExtension(const char* name) {
    char* caption = allocText(kExtensionCaptionSize);
    char* text = allocText(kExtensionTextSize);
    int answer = platform::IDCANCEL;
    if (caption && text) {
        snprintf(caption, kExtensionCaptionSize, "Extension %s not supported!", name);
        snprintf(text, kExtensionTextSize,
                 "Extension %s not supported, which means this demo probably won't run very well "
                 "or at all. If you still want to risk it, press OK. \n\n(Side effects may include "
                 "bubonic plague, outbreaks of cholera, Spontaneous Massive Existence Failures and "
                 "other conditions too horrible for mere words. The author of this application "
                 "does not take responsibility for any damages, injuries or death resulting from "
                 "the erroneous use of this product.)",
                 name);
        answer = platform::messageBox(text, caption, platform::MB_OKCANCEL | platform::MB_ICONQUESTION);
    }
    free(caption);
    free(text);
    if (answer != platform::IDOK) endProcessFatally();
}

bool recoverFatal(const std::function<void()>& work, std::string* reason) {
    std::string outer;
    outer.swap(g_recoverText);
    ++g_recoverDepth;
    bool ok = true;
    try {
        work();
    } catch (const RecoveredFatal&) {
        ok = false;
    }
    --g_recoverDepth;
    if (reason) *reason = ok ? std::string() : (g_recoverText.empty() ? "unknown error" : g_recoverText);
    g_recoverText.swap(outer);
    return ok;
}
