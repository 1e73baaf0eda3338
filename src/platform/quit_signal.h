// SIGINT and SIGTERM as a viewer's request to quit: the program ends in order at its
// next chance (the setup dialog cancels, the main loop leaves as on Escape), with
// status 0, instead of dying wherever it was. A second signal of the same kind ends
// the process at once, as the signal would by default.
#pragma once

namespace platform {

// Installs the handlers (once; later calls do nothing), except for a signal the process
// was started with ignored (a background job's SIGINT), which stays ignored. Before
// SDL_Init, so SDL leaves them in place instead of installing its own.
void installQuitSignals();

// Whether SIGINT or SIGTERM came since installQuitSignals.
bool quitRequested();

// A descriptor that becomes readable once quit was requested (-1 before
// installQuitSignals): event loops that sleep in poll wake up on it. Never read it.
int quitSignalFd();

}  // namespace platform
