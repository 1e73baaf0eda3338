// ALSA's library writes its own "ALSA lib ..." lines to stderr when a device cannot be
// opened (a machine without a sound card: eight of them), before the audio layer logs
// its one line on the matter. This turns them off for the process.
#pragma once

namespace audio {

// Gives ALSA's library (when it is installed) an error handler that drops every
// message. Safe to call more than once.
void quietAlsaErrors();

}  // namespace audio
