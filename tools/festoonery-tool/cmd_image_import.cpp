// festoonery-tool image-import: converts any image GDK-Pixbuf reads into an 8-bit RGBA
// PNG that the engine's PNG loader takes, and checks that the engine reads it back as
// the same pixels.
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "command.h"
#include "engine_log.h"
#include "import/write_file.h"
#include "util/texture/texture.h"

namespace {

const char kUsageText[] =
    "Usage: festoonery-tool image-import IN OUT.png\n"
    "\n"
    "Reads the image IN with GDK-Pixbuf (PNG of every bit depth and colour type, every\n"
    "BMP, TGA, GIF (its first frame), JPEG, TIFF, ICO and whatever other image loaders\n"
    "are installed) and writes OUT.png as an 8-bit RGBA PNG that the engine loads as a\n"
    "texture, top row first as the picture shows (a photo's orientation tag applied).\n"
    "Images without transparency get an opaque alpha channel. It then loads OUT.png\n"
    "with the engine's own PNG loader and checks every pixel.\n"
    "\n"
    "OUT.png is replaced only once it is complete. An image GDK-Pixbuf cannot read is\n"
    "refused with its reason (exit status 1).\n"
    "\n"
    "Options:\n"
    "  -h, --help  show this text\n";

struct PixbufRef {
    GdkPixbuf* p = nullptr;
    ~PixbufRef() {
        if (p) g_object_unref(p);
    }
    void reset(GdkPixbuf* next) {
        if (p) g_object_unref(p);
        p = next;
    }
};

// The engine's texture of OUT, bottom row first, against the pixbuf, top row first.
bool sameAsEngine(GdkPixbuf* rgba, const Texture& t) {
    int width = gdk_pixbuf_get_width(rgba), height = gdk_pixbuf_get_height(rgba);
    if (t.width != width || t.height != height || t.bitsPerPixel != 32) return false;
    int stride = gdk_pixbuf_get_rowstride(rgba);
    const guchar* pixels = gdk_pixbuf_read_pixels(rgba);
    for (int y = 0; y < height; ++y) {
        const unsigned char* engineRow = t.imageData + size_t(height - 1 - y) * size_t(width) * 4;
        if (memcmp(engineRow, pixels + size_t(y) * size_t(stride), size_t(width) * 4) != 0) return false;
    }
    return true;
}

int runImageImport(int argc, char** argv) {
    tool::Arguments args;
    if (int status = tool::parseArguments(argc, argv, {}, &args)) return status;
    if (args.positionals.size() < 2) return tool::usageError("name the image IN and the PNG file OUT.png to write");
    if (args.positionals.size() > 2)
        return tool::usageError("one image at a time; '%s' is one too many", args.positionals[2].c_str());
    const std::string& in = args.positionals[0];
    const std::string& out = args.positionals[1];
    std::string suffix = out.size() >= 4 ? out.substr(out.size() - 4) : "";
    for (char& c : suffix) c = char(tolower(static_cast<unsigned char>(c)));
    if (suffix != ".png")
        return tool::usageError("OUT must end in .png (the engine picks its loader by extension), not '%s'",
                                out.c_str());

    GError* error = nullptr;
    PixbufRef image;
    image.reset(gdk_pixbuf_new_from_file(in.c_str(), &error));
    if (!image.p) {
        std::string why = error ? error->message : "GDK-Pixbuf gave no reason";
        if (error) g_error_free(error);
        return tool::fail("%s refused: %s", in.c_str(), why.c_str());
    }
    // What the picture shows: a photo's EXIF orientation applied (a new reference).
    image.reset(gdk_pixbuf_apply_embedded_orientation(image.p));
    if (!image.p) return tool::fail("%s: not enough memory to turn the picture upright", in.c_str());
    if (gdk_pixbuf_get_colorspace(image.p) != GDK_COLORSPACE_RGB || gdk_pixbuf_get_bits_per_sample(image.p) != 8)
        return tool::fail("%s: GDK-Pixbuf gave pixels of a kind other than 8-bit RGB", in.c_str());
    int width = gdk_pixbuf_get_width(image.p), height = gdk_pixbuf_get_height(image.p);
    if (width > 16384 || height > 16384)
        return tool::fail("%s is %d x %d pixels; the engine's textures are at most 16384 pixels wide and high",
                          in.c_str(), width, height);
    if (!gdk_pixbuf_get_has_alpha(image.p)) image.reset(gdk_pixbuf_add_alpha(image.p, FALSE, 0, 0, 0));
    if (!image.p) return tool::fail("%s: not enough memory for an alpha channel", in.c_str());

    gchar* png = nullptr;
    gsize size = 0;
    if (!gdk_pixbuf_save_to_buffer(image.p, &png, &size, "png", &error, nullptr)) {
        std::string why = error ? error->message : "no reason given";
        if (error) g_error_free(error);
        return tool::fail("could not encode %s as PNG: %s", out.c_str(), why.c_str());
    }
    std::string why;
    bool written = tool::writeWholeFile(out, png, size, &why);
    g_free(png);
    if (!written) return tool::fail("could not write %s: %s", out.c_str(), why.c_str());

    Texture texture;
    memset(&texture, 0, sizeof texture);
    tool::EngineLog log;
    log.begin();
    bool loaded = loadPNG(&texture, out.c_str());
    log.end();
    bool same = loaded && sameAsEngine(image.p, texture);
    free(texture.imageData);
    if (!same) return tool::fail("the engine does not read %s back as the picture; please report this", out.c_str());
    fprintf(tool::out(), "wrote %s: %d x %d pixels, 8-bit RGBA, top row first (%zu bytes); the engine reads it back "
            "pixel for pixel\n", out.c_str(), width, height, size_t(size));
    return tool::kOk;
}

const tool::Registrar registrar({"image-import", "convert any image into a PNG the engine loads", kUsageText,
                                 runImageImport});

}  // namespace
