// Feeds arbitrary bytes to the font path (FreeType through FTGL, from memory, as the
// engine loads its fonts): a font it cannot open must be refused with the fatal box,
// one it opens must size and measure text without crashing.
#include <FTGL/ftgl.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "util/util/util.h"

namespace {
// FTGL crashes in its glyph destructors when a font whose glyphs failed to render is
// deleted (AddressSanitizer: a bad pointer freed in ~FTBufferGlyphImpl). The engine never
// deletes a font: fonts live until the process ends. So does a font here once its glyphs
// were made; after this many (a few hundred MB) the glyph checks stop and fonts are only
// opened, sized and deleted, which makes no glyph.
// Kept reachable until the very end (never destroyed: leak detection runs after the
// static destructors), so it does not count them.
constexpr size_t kFontsKeptWithGlyphs = 1000;
struct Kept {
    std::vector<FTFont*> fonts;
    std::vector<unsigned char*> bytes;
};
Kept* const g_kept = new Kept();
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::setUp();
    // The font keeps reading its bytes, so they get a buffer of their own.
    unsigned char* bytes = static_cast<unsigned char*>(malloc(size ? size : 1));
    if (size) memcpy(bytes, data, size);
    try {
        FTFont* font = fontFromMemory(bytes, size, "fuzz.ttf");
        if (font->FaceSize(48, 72) && g_kept->fonts.size() < kFontsKeptWithGlyphs) {
            font->CharMap(ft_encoding_unicode);
            volatile float advance = font->Advance("Happy 0x20 birthday Tuppet! ~{|}");
            (void)advance;
            float box[6];
            font->BBox("Best wishes from Morvaset", box[0], box[1], box[2], box[3], box[4], box[5]);
            g_kept->fonts.push_back(font);
            g_kept->bytes.push_back(bytes);  // the font reads them until the end
            return 0;
        }
        delete font;
    } catch (const fuzzsupport::Refused&) {
    }
    free(bytes);
    return 0;
}
