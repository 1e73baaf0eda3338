// A word of any script laid out for drawing: put in composed form (NFC), split into runs
// of one script and one direction, each run given a face that draws it whole (the script
// font first, then the installed face fontconfig finds nearest to its look), shaped with
// HarfBuzz and put in visual order with FriBidi's levels. Positions are pixels, y up,
// from the word's pen origin on its baseline.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct PlacedGlyph {
    unsigned glyph;  // glyph index in its run's face
    float x, y;      // pixels from the word's origin
};

struct WordRun {
    size_t face;          // WordFonts::faceName(face), WordFonts::ftFace(face)
    size_t begin, end;    // bytes of WordLayout::text the run covers
    bool rightToLeft;
    std::vector<PlacedGlyph> glyphs;  // left to right
};

struct WordLayout {
    std::string text;           // the word in NFC
    std::vector<WordRun> runs;  // left to right
    float advance = 0;          // pixels
};

class WordFonts {
public:
    // The script font: a TrueType or OpenType file image (kept, not copied, for this
    // object's life) named `label`, set at `pixelsPerEm`. Fallback faces come from the
    // system's fontconfig set, or, where `onlyFiles` is not empty, from those files only
    // (then no font package counts as installed, for the refusal's advice).
    WordFonts(const unsigned char* scriptFont, size_t size, float pixelsPerEm,
              const std::vector<std::string>& onlyFiles = {});
    ~WordFonts();
    WordFonts(const WordFonts&) = delete;
    WordFonts& operator=(const WordFonts&) = delete;

    // True with *out filled; false, with each character no face draws described once in
    // *undrawable ("U+0F40 TIBETAN LETTER KA (Tibetan): no installed font draws it;
    // install fonts-noto-core"), when the word cannot be drawn whole. `utf8` must be
    // valid UTF-8 (the words' parser sees to that).
    bool layout(const std::string& utf8, WordLayout* out, std::vector<std::string>* undrawable);

    // "Noto Serif Italic": the face's family and style.
    std::string faceName(size_t face) const;
    // The face's file ("" for the script font, which has none) and index in it.
    std::string faceFile(size_t face) const;
    int faceIndex(size_t face) const;
    // The FreeType face (an FT_Face), set at its drawing size.
    void* ftFace(size_t face) const;
    // Pixels of the word per pixel of the face: below 1 for a colour bitmap strike
    // (emoji) drawn at the word's size, else 1.
    float faceScale(size_t face) const;
    bool faceIsColour(size_t face) const;
    float pixelsPerEm() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    bool systemFonts_ = true;
};
