// The BMP reader behind loadBMP (texture.h), exposed for tests and tools.
#pragma once

#include <cstddef>

class LoaderImage;

enum BmpResult : int {
    BmpOk = 0,
    BmpCannotOpen = 1,
    BmpUnsupported = 2,
    BmpSeekFailed = 3,
    BmpEndedEarly = 4,
};

// Reads a 24-bit uncompressed bottom-up bitmap into image (row 0 = top of the picture).
// On a result other than BmpOk, why (when given) receives the rule the file breaks, as
// one sentence, cut at whySize bytes.
int readBMP(const char* path, LoaderImage* image, char* why = nullptr, size_t whySize = 0);
