#include "platform/audio/alsa_quiet.h"

#include <dlfcn.h>

namespace audio {
namespace {

// ALSA's error handler type: file, line, function, error number, format, arguments.
typedef void (*AlsaErrorHandler)(const char*, int, const char*, int, const char*, ...);
typedef int (*SetHandlerFunction)(AlsaErrorHandler);

void ignoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

void quietAlsaErrors() {
    static bool done = false;
    if (done) return;
    done = true;
    // The library SDL opens later by the same name is this one, so its handler holds
    // there too. Without ALSA there is nothing to quieten.
    void* alsa = dlopen("libasound.so.2", RTLD_LAZY | RTLD_LOCAL);
    if (!alsa) return;
    auto setHandler = reinterpret_cast<SetHandlerFunction>(dlsym(alsa, "snd_lib_error_set_handler"));
    if (setHandler) setHandler(ignoreAlsaError);
    // The handle stays open: the handler must outlive every ALSA call of the run.
}

}  // namespace audio
