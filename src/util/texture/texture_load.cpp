// Loading a texture from an image file, the loader chosen by the file name's extension.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "log.h"
#include "platform/msgbox.h"
#include "util/texture/texture.h"
#include "util/util/reloadable.h"

namespace texture {

namespace {

// Fills the texture's image fields by the path's extension; false when it did not load.
bool decode(Texture* texture, const char* path) {
    char extension[6];
    imageExtension(path, extension);

    bool loaded = false;
    if (strcmp(extension, ".tga") == 0) {
        loaded = loadTGA(path, texture);
    } else if (strcmp(extension, ".png") == 0) {
        loaded = loadPNG(texture, path);
    } else if (strcmp(extension, ".jpg") == 0 || strcmp(extension, ".jpeg") == 0) {
        loaded = loadJPG(path, texture);
    } else if (strcmp(extension, ".bmp") == 0) {
        loaded = loadBMP(path, texture);
    } else {
        char text[200];
        snprintf(text, sizeof text, "Sorry, image format %s is not yet supported.\nTry .tga or .png.",
                 extension);
        platform::messageBox(text, "Unsupported image format!", platform::MB_OK);
    }
    return loaded;
}

}  // namespace

bool load(GLenum minFilter, GLenum magFilter, Texture* texture, const char* path, bool mipmapped,
          bool repeat) {
    texture->minFilter = minFilter;
    texture->magFilter = magFilter;
    texture->mipmapped = mipmapped;
    texture->wrap = repeat ? GL_REPEAT : GL_CLAMP_TO_EDGE;
    texture->floatPixels = false;
    if (!decode(texture, path)) FATAL("Failed to load image %s!", path ? path : "(null)");
    bool created = create(texture);
    if (path && reloadable::enabled()) {
        std::string file = path;
        reloadable::add(file, [texture, file] { reload(texture, file.c_str()); });
    }
    return created;
}

void reload(Texture* texture, const char* path) {
    Texture fresh = *texture;
    fresh.imageData = nullptr;
    if (!decode(&fresh, path)) {
        free(fresh.imageData);
        FATAL("Failed to load image %s!", path);
    }
    upload(&fresh);
    *texture = fresh;
}

}  // namespace texture
