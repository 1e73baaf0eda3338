// festoonery-capture: the production offline on virtual time, into PNG frames or a
// video file (main.cpp, in festoonery_offline).
#include "lib/capture_main.h"

int main(int argc, char** argv) { return offline::captureMain("festoonery-capture", argc, argv); }
