// The JPEG reader behind loadJPG (texture.h), exposed for tests and tools.
#pragma once

class LoaderImage;

// Decodes a JPEG through libjpeg into image: RGB for a colour image (type 3), grey for
// a grey one (type 1). False when the file cannot be opened or the picture exceeds
// 16384 pixels in either direction. A JPEG that libjpeg rejects ends the process with
// a fatal box carrying libjpeg's message.
bool readJPG(LoaderImage* image, const char* path);
