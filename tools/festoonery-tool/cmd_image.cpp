// festoonery-tool image: decodes an image with the engine's own loaders, as the demo
// would load it as a texture, and optionally writes what the engine sees.
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "command.h"
#include "log.h"
#include "util/texture/texture.h"

namespace {

const char kUsageText[] =
    "Usage: festoonery-tool image FILE [OUT]\n"
    "\n"
    "Decodes the image FILE with the engine's own loader for its extension (.tga, .bmp,\n"
    ".jpg, .jpeg or .png, in any case), exactly as the demo loads a texture, and prints\n"
    "its width, height, bits per pixel and pixel format. No display is needed.\n"
    "\n"
    "With OUT, also writes the decoded pixels, top row first, as PNG (OUT ends in .png)\n"
    "or as PAM (OUT ends in .pam), so you can look at what the engine sees.\n"
    "\n"
    "An image the engine refuses gives the loader's own message and exit status 1; the\n"
    "demo would stop with \"Failed to load image\" on it.\n"
    "\n"
    "Options:\n"
    "  -h, --help  show this text\n";

std::string lowerSuffix(const std::string& path, size_t n) {
    if (path.size() < n) return "";
    std::string s = path.substr(path.size() - n);
    for (char& c : s) c = char(tolower(static_cast<unsigned char>(c)));
    return s;
}

// The texture's own choice of loader: the last four characters, or ".jpeg".
std::string extensionOf(const std::string& path) {
    if (lowerSuffix(path, 5) == ".jpeg") return ".jpeg";
    return lowerSuffix(path, 4);
}

// ---- The engine's messages while a loader runs ----

FILE* g_capture = nullptr;
int g_savedOut = -1, g_savedErr = -1;

void captureEngineOutput() {
    fflush(stdout);
    fflush(stderr);
    g_capture = tmpfile();
    if (!g_capture) return;
    g_savedOut = dup(1);
    g_savedErr = dup(2);
    dup2(fileno(g_capture), 1);
    dup2(fileno(g_capture), 2);
}

void restoreEngineOutput() {
    fflush(stdout);
    fflush(stderr);
    if (g_savedOut >= 0) dup2(g_savedOut, 1), close(g_savedOut);
    if (g_savedErr >= 0) dup2(g_savedErr, 2), close(g_savedErr);
    g_savedOut = g_savedErr = -1;
}

// The last box ("CAPTION: TEXT") or, failing that, the last log line the loader wrote.
std::string engineReason() {
    if (!g_capture) return "";
    std::string box, logText, line;
    fseek(g_capture, 0, SEEK_SET);
    char buffer[4096];
    while (fgets(buffer, sizeof buffer, g_capture)) {
        line += buffer;
        if (line.back() != '\n') continue;
        line.pop_back();
        if (line.rfind("[box] answered ", 0) == 0) {
        } else if (line.rfind("[box] ", 0) == 0) {
            size_t bar = line.find(" | ");
            if (bar == std::string::npos) {
                box = line.substr(6);
            } else {
                // Fatal boxes repeat their caption at the start of the text.
                std::string caption = line.substr(6, bar - 6), text = line.substr(bar + 3);
                if (text.rfind(caption + "\\n\\n", 0) == 0) text = text.substr(caption.size() + 4);
                box = caption + ": " + text;
            }
        } else if (!line.empty()) {
            // Log lines start with a 24-character time stamp; a loader's reason follows
            // its own line as a second one.
            std::string text = line.size() > 24 && line[4] == '-' ? line.substr(24) : line;
            while (!text.empty() && text[0] == ' ') text.erase(0, 1);
            if (logText.empty()) logText = text;
            else logText += (strchr(".!?", logText.back()) ? " " : ": ") + text;
        }
        line.clear();
    }
    std::string reason = box.empty() ? logText : box;
    size_t escaped;
    while ((escaped = reason.find("\\n")) != std::string::npos) reason.replace(escaped, 2, " ");
    // A box's empty line between its text and the reason becomes one blank.
    while ((escaped = reason.find("  ")) != std::string::npos) reason.erase(escaped, 1);
    while (!reason.empty() && reason.back() == ' ') reason.pop_back();
    return reason;
}

// A loader that ends the process (libjpeg on a corrupt file) still gets its reason
// shown as one line.
void reportFatalLoader() {
    restoreEngineOutput();
    std::string reason = engineReason();
    tool::fail("%s", reason.empty() ? "the loader ended with a fatal error" : reason.c_str());
}

// ---- Writers, top row first ----

uint32_t crc32(const unsigned char* p, size_t n, uint32_t crc) {
    static uint32_t table[256];
    if (!table[1]) {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
            table[i] = c;
        }
    }
    crc = ~crc;
    for (size_t i = 0; i < n; ++i) crc = table[(crc ^ p[i]) & 255] ^ (crc >> 8);
    return ~crc;
}

void putBE32(std::string& out, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out += char(v >> s);
}

void putChunk(std::string& png, const char* type, const std::string& data) {
    putBE32(png, uint32_t(data.size()));
    std::string body = std::string(type, 4) + data;
    png += body;
    putBE32(png, crc32(reinterpret_cast<const unsigned char*>(body.data()), body.size(), 0));
}

// Rows of the texture are bottom row first; these are the picture's rows top first.
const unsigned char* pictureRow(const Texture& t, int y) {
    size_t stride = size_t(t.width) * size_t(t.bitsPerPixel / 8);
    return t.imageData + stride * size_t(t.height - 1 - y);
}

// PNG with the image data in stored (uncompressed) DEFLATE blocks: no compression
// library needed, and every PNG reader understands it.
std::string encodePng(const Texture& t) {
    int channels = t.bitsPerPixel / 8;
    size_t stride = size_t(t.width) * size_t(channels);
    std::string raw;
    raw.reserve((stride + 1) * size_t(t.height));
    for (int y = 0; y < t.height; ++y) {
        raw += '\0';  // filter type None
        raw.append(reinterpret_cast<const char*>(pictureRow(t, y)), stride);
    }
    std::string z = "\x78\x01";
    uint32_t a = 1, b = 0;
    for (unsigned char v : raw) {
        a = (a + v) % 65521;
        b = (b + a) % 65521;
    }
    size_t at = 0;
    do {
        size_t n = raw.size() - at < 65535 ? raw.size() - at : 65535;
        z += char(at + n == raw.size() ? 1 : 0);
        z += char(n & 255);
        z += char(n >> 8);
        z += char(~n & 255);
        z += char((~n >> 8) & 255);
        z.append(raw, at, n);
        at += n;
    } while (at < raw.size());
    putBE32(z, b << 16 | a);

    std::string header;
    putBE32(header, uint32_t(t.width));
    putBE32(header, uint32_t(t.height));
    header += char(8);
    header += char(channels == 4 ? 6 : 2);
    header += std::string(3, '\0');
    std::string png = "\x89PNG\r\n\x1a\n";
    putChunk(png, "IHDR", header);
    putChunk(png, "IDAT", z);
    putChunk(png, "IEND", "");
    return png;
}

std::string encodePam(const Texture& t) {
    int channels = t.bitsPerPixel / 8;
    char header[200];
    snprintf(header, sizeof header, "P7\nWIDTH %d\nHEIGHT %d\nDEPTH %d\nMAXVAL 255\nTUPLTYPE %s\nENDHDR\n", t.width,
             t.height, channels, channels == 4 ? "RGB_ALPHA" : "RGB");
    std::string pam = header;
    size_t stride = size_t(t.width) * size_t(channels);
    for (int y = 0; y < t.height; ++y) pam.append(reinterpret_cast<const char*>(pictureRow(t, y)), stride);
    return pam;
}

int runImage(int argc, char** argv) {
    tool::Arguments args;
    if (int status = tool::parseArguments(argc, argv, {}, &args)) return status;
    if (args.positionals.empty()) return tool::usageError("which image? Name a FILE");
    if (args.positionals.size() > 2)
        return tool::usageError("one image at a time; '%s' is one too many",
                                args.positionals[2].c_str());
    std::string file = args.positionals[0];
    std::string out = args.positionals.size() > 1 ? args.positionals[1] : "";
    std::string outKind = out.empty() ? "" : lowerSuffix(out, 4);
    if (!out.empty() && outKind != ".png" && outKind != ".pam")
        return tool::usageError("OUT must end in .png or .pam, not '%s'", out.c_str());

    std::string ext = extensionOf(file);
    bool (*loader)(const char*, Texture*) = nullptr;
    if (ext == ".tga") loader = loadTGA;
    else if (ext == ".bmp") loader = loadBMP;
    else if (ext == ".jpg" || ext == ".jpeg") loader = loadJPG;
    else if (ext != ".png")
        return tool::fail("the engine has no loader for '%s' (extension '%s'); it reads .tga, .bmp, .jpg, .jpeg and .png",
                          file.c_str(), ext.c_str());

    Texture texture;
    memset(&texture, 0, sizeof texture);
    captureEngineOutput();
    setFatalHook(reportFatalLoader);
    bool ok = loader ? loader(file.c_str(), &texture) : loadPNG(&texture, file.c_str());
    restoreEngineOutput();
    if (!ok || !texture.imageData) {
        std::string reason = engineReason();
        if (g_capture) fclose(g_capture);
        return tool::fail("%s refused: %s", file.c_str(), reason.empty() ? "no reason given" : reason.c_str());
    }
    if (g_capture) fclose(g_capture);
    g_capture = nullptr;

    fprintf(tool::out(), "%s: width %d, height %d, %d bits per pixel, format %s\n", file.c_str(), texture.width,
            texture.height, texture.bitsPerPixel, texture.format == GL_RGBA ? "GL_RGBA" : "GL_RGB");
    int status = tool::kOk;
    if (!out.empty()) {
        std::string bytes = outKind == ".png" ? encodePng(texture) : encodePam(texture);
        FILE* f = fopen(out.c_str(), "wb");
        bool written = f && fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        if (f && fclose(f) != 0) written = false;
        if (written)
            fprintf(tool::out(), "wrote %s (%zu bytes, top row first)\n", out.c_str(), bytes.size());
        else
            status = tool::fail("could not write %s: %s", out.c_str(), strerror(errno));
    }
    free(texture.imageData);
    return status;
}

const tool::Registrar registrar({"image", "decode an image with the engine's loaders", kUsageText, runImage});

}  // namespace
