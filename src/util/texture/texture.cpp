// Texture record operations that need no image loader: the initial values, the
// OpenGL upload, resize and destroy. Loading by file name lives in texture_load.cpp,
// so that users of empty textures (the framebuffer object) link without the loaders.
#include "util/texture/texture.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "log.h"

namespace texture {

void init(Texture* texture) {
    texture->imageData = nullptr;
    texture->bitsPerPixel = 0;
    texture->width = 0;
    texture->height = 0;
    texture->format = 0;
    texture->name = 0;
    texture->wrap = GL_CLAMP_TO_EDGE;
    texture->floatPixels = false;
    texture->mipmapped = false;
    texture->minFilter = GL_LINEAR;
    texture->magFilter = GL_LINEAR;
}

void destroy(Texture* texture) {
    if (texture->name != 0) glDeleteTextures(1, &texture->name);
    texture->name = 0;
    CHECK_GL();
}

void imageExtension(const char* path, char out[6]) {
    out[0] = '\0';
    size_t length = path ? strlen(path) : 0;
    if (length < 4) return;  // no extension at all: unsupported
    size_t take = 4;
    if (length >= 5) {
        char five[6];
        for (int i = 0; i < 5; ++i) {
            five[i] = static_cast<char>(tolower(static_cast<unsigned char>(path[length - 5 + i])));
        }
        five[5] = '\0';
        if (strcmp(five, ".jpeg") == 0) take = 5;
    }
    for (size_t i = 0; i < take; ++i) {
        out[i] = static_cast<char>(tolower(static_cast<unsigned char>(path[length - take + i])));
    }
    out[take] = '\0';
}

bool vendorIsAti(const char* vendor) {
    if (!vendor) return false;
    size_t length = strlen(vendor);
    char* lower = static_cast<char*>(malloc(length + 1));
    if (!lower) return false;
    for (size_t i = 0; i < length; ++i) {
        lower[i] = static_cast<char>(tolower(static_cast<unsigned char>(vendor[i])));
    }
    lower[length] = '\0';
    bool ati = strstr(lower, "ati ") != nullptr;
    free(lower);
    return ati;
}

bool create(Texture* texture) {
    if (texture->name != 0) FATAL("Attempt to create an already initialized texture!");

    glGenTextures(1, &texture->name);
    return upload(texture);
}

bool upload(Texture* texture) {
    glBindTexture(GL_TEXTURE_2D, texture->name);

    if (texture->mipmapped) {
        GLfloat maxAnisotropy = 1.0f;
        glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &maxAnisotropy);
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, maxAnisotropy);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    } else {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, texture->minFilter);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, texture->magFilter);
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, texture->wrap);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, texture->wrap);

    // The loaders' rows are tightly packed: an RGB row of a width that is not a multiple
    // of four is not padded to the default 4-byte unpack alignment.
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    // The internal format is the legacy component count (3 or 4).
    glTexImage2D(GL_TEXTURE_2D, 0, texture->bitsPerPixel / 8, texture->width, texture->height, 0,
                 texture->format, texture->floatPixels ? GL_FLOAT : GL_UNSIGNED_BYTE,
                 texture->imageData);
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);

    if (!texture->mipmapped) {
        glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_FALSE);
    } else if (vendorIsAti(reinterpret_cast<const char*>(glGetString(GL_VENDOR)))) {
        // ATI's drivers were unreliable with glGenerateMipmapEXT on these textures.
        glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_TRUE);
    } else {
        REQUIRE_GL(glGenerateMipmapEXT);
        glGenerateMipmapEXT(GL_TEXTURE_2D);
    }

    if (texture->imageData) {
        free(texture->imageData);
        texture->imageData = nullptr;
    }
    // A refused upload (bad size or format) is reported here, where it happened.
    CHECK_GL();
    return true;
}

void resize(Texture* texture, int width, int height) {
    if (texture->imageData) FATAL("Attempted to resize a texture with current imageData");
    if (texture->name == 0) FATAL("Attempted to resize a texture that is not initialized!");
    glDeleteTextures(1, &texture->name);
    texture->name = 0;
    texture->width = width;
    texture->height = height;
    create(texture);
}

}  // namespace texture
