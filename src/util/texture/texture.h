// The plain texture record embedded by value in its owners, and its operations.
#pragma once

#include <GL/glew.h>

struct Texture {
    unsigned char* imageData;  // rows bottom row first, or null; released after upload
    int bitsPerPixel;          // 24 (RGB) or 32 (RGBA)
    int width;                 // pixels
    int height;                // pixels
    GLenum format;             // GL_RGB or GL_RGBA
    GLuint name;               // 0 while no OpenGL texture exists
    GLenum wrap;               // GL_REPEAT or GL_CLAMP_TO_EDGE, for S and T
    bool floatPixels;          // upload as GL_FLOAT instead of GL_UNSIGNED_BYTE
    bool mipmapped;            // mipmaps with trilinear, anisotropic filtering
    GLenum minFilter;          // used when not mipmapped
    GLenum magFilter;          // used when not mipmapped
};

namespace texture {

// The initial values every owner sets before use.
void init(Texture* texture);

// Loads an image by its extension (.tga, .png, .jpg/.jpeg, .bmp) and creates the
// OpenGL texture. Returns true; every failure ends the process.
bool load(GLenum minFilter, GLenum magFilter, Texture* texture, const char* path, bool mipmapped,
          bool repeat);
bool create(Texture* texture);
// The image data (and filters, wrap, mipmaps) into the texture's existing OpenGL name,
// replacing what it held; frees the image data like create.
bool upload(Texture* texture);
// Development mode: the image at path read again into the texture (same OpenGL name,
// filters and wrap). A file that does not load ends in a fatal error and leaves the
// texture as it was.
void reload(Texture* texture, const char* path);
void resize(Texture* texture, int width, int height);
void destroy(Texture* texture);

// The extension load() dispatches on: the last four characters of the path in lower
// case, or ".jpeg" when the path ends in it (any case); "" for paths shorter than four.
void imageExtension(const char* path, char out[6]);
// Whether a GL_VENDOR string, lower-cased, contains "ati " (ATI's drivers): their
// mipmaps come from GL_GENERATE_MIPMAP instead of glGenerateMipmapEXT.
bool vendorIsAti(const char* vendor);

}  // namespace texture

// Image loaders: fill imageData, bitsPerPixel, width, height and format (no OpenGL).
// Each returns true on success; on failure it has shown or logged its message and
// leaves imageData null.
bool loadTGA(const char* path, Texture* texture);
bool loadBMP(const char* path, Texture* texture);
bool loadJPG(const char* path, Texture* texture);
bool loadPNG(Texture* texture, const char* path);
