// The display settings: five process-wide integers read from and written to
// "default.cfg" in the working directory, confirmed in the setup dialog.
#pragma once

#include <cstdint>

namespace DisplaySettings {

extern int32_t width;    // pixels; -1: not chosen yet
extern int32_t height;   // pixels; -1: not chosen yet
extern int32_t flags;    // SDL 1.2 video mode flags; the dialog sets only SDL_FULLSCREEN
extern int32_t samples;  // multisample anti-aliasing samples per pixel; 0: none
extern int32_t vsync;    // 1: swap buffers in step with the display

// The program-start values: -1, -1, SDL_FULLSCREEN, 4, 1 (tests).
void resetToDefaults();

}  // namespace DisplaySettings

// The settings file's name, relative to the working directory.
extern const char* const kSettingsFileName;

// Reads "default.cfg": pairs of a key token and a %i integer (decimal, 0x hex, 0 octal),
// separated by white space. Unknown keys are skipped, a later key wins, the first pair
// that cannot be read ends the reading. A missing file keeps the current values.
void loadSettings();

// Writes the five settings, one "key value" line each, replacing "default.cfg" as a whole
// (util/util/atomic_file.h): a failed write never touches the file the viewer had, and a
// link, the permissions and the owner stay. Logs the saving line once the file is in
// place; any failure is logged instead and the run goes on.
void saveSettings();
