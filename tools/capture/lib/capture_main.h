// The capture's whole command line, for festoonery-capture and for --capture in every
// production's program (src/main/main.cpp): the production captured is the one the
// program is built with (thisProduction).
#pragma once

namespace offline {

// argv[1..] are the capture's options and its OUTPUT; program names it in messages and
// in the usage text. Returns the exit status, or ends the process (status 1 or 2).
int captureMain(const char* program, int argc, char** argv);

}  // namespace offline
