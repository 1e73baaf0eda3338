#include "util/text/word_layout.h"

#include <fontconfig/fontconfig.h>
#include <fribidi.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <hb-ft.h>
#include <hb.h>
#include <sys/stat.h>
#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/uscript.h>
#include <unicode/ustring.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// A run's kind of writing: an ICU script code, or one of these.
constexpr int kNeutral = -1;  // common and inherited characters: they take a neighbour's
constexpr int kEmoji = -2;
constexpr int kCjk = -3;      // Han, kana, Hangul and Bopomofo: one face for a Japanese name

struct Face {
    FT_Face ft = nullptr;
    hb_font_t* hb = nullptr;
    std::string name, file;
    int index = 0;
    float scale = 1;
    bool colour = false;
};

struct Char {
    uint32_t c;
    size_t begin, end;  // bytes
    int kind;
    FriBidiLevel level;
};

bool isIgnorable(uint32_t c) {
    return u_hasBinaryProperty(UChar32(c), UCHAR_DEFAULT_IGNORABLE_CODE_POINT) != 0;
}

int kindOf(uint32_t c, uint32_t next) {
    UChar32 u = UChar32(c);
    if (u_hasBinaryProperty(u, UCHAR_EMOJI_PRESENTATION) || u_hasBinaryProperty(u, UCHAR_REGIONAL_INDICATOR) ||
        (u_hasBinaryProperty(u, UCHAR_EXTENDED_PICTOGRAPHIC) && next == 0xFE0F))
        return kEmoji;
    UErrorCode error = U_ZERO_ERROR;
    UScriptCode script = uscript_getScript(u, &error);
    if (U_FAILURE(error) || script == USCRIPT_COMMON || script == USCRIPT_INHERITED || script == USCRIPT_UNKNOWN)
        return kNeutral;
    if (script == USCRIPT_HAN || script == USCRIPT_HIRAGANA || script == USCRIPT_KATAKANA ||
        script == USCRIPT_HANGUL || script == USCRIPT_BOPOMOFO)
        return kCjk;
    return int(script);
}

std::string scriptName(int kind) {
    return kind >= 0 ? uscript_getName(UScriptCode(kind)) : "";
}

// The families nearest the script font's hand, for one kind of writing, most wanted first
// (what Debian's Noto and script faces offer; an italic is asked for besides).
std::vector<std::string> familiesFor(int kind, const std::vector<Char>& chars) {
    if (kind == kEmoji) return {"Noto Color Emoji"};
    if (kind == kCjk) {
        bool kana = false, hangul = false;
        for (const Char& ch : chars) {
            UErrorCode error = U_ZERO_ERROR;
            UScriptCode s = uscript_getScript(UChar32(ch.c), &error);
            kana = kana || s == USCRIPT_HIRAGANA || s == USCRIPT_KATAKANA;
            hangul = hangul || s == USCRIPT_HANGUL;
        }
        if (kana) return {"Noto Serif CJK JP", "Noto Sans CJK JP"};
        if (hangul) return {"Noto Serif CJK KR", "Noto Sans CJK KR"};
        return {"Noto Serif CJK SC", "Noto Sans CJK SC"};
    }
    std::vector<std::string> families;
    switch (kind) {
    case USCRIPT_LATIN: families = {"Kaushan Script"}; break;
    case USCRIPT_HEBREW: families = {"Noto Rashi Hebrew"}; break;
    case USCRIPT_ARABIC: families = {"Noto Naskh Arabic"}; break;
    case USCRIPT_THAI: families = {"Noto Looped Thai"}; break;
    case USCRIPT_TAMIL: families = {"Noto Serif Tamil Slanted"}; break;
    default: break;
    }
    if (kind >= 0 && kind != USCRIPT_LATIN && kind != USCRIPT_GREEK && kind != USCRIPT_CYRILLIC) {
        std::string name = scriptName(kind);
        families.push_back("Noto Serif " + name);
        families.push_back("Noto Sans " + name);
    }
    families.insert(families.end(), {"Noto Serif", "DejaVu Serif", "Noto Sans"});
    return families;
}

// The Debian package whose faces draw `c`, where one is known.
const char* packageFor(uint32_t c, int kind) {
    if (kind == kEmoji) return "fonts-noto-color-emoji";
    if (kind == kCjk) return "fonts-noto-cjk";
    UErrorCode error = U_ZERO_ERROR;
    UScriptCode script = uscript_getScript(UChar32(c), &error);
    if (U_FAILURE(error) || script == USCRIPT_UNKNOWN || u_charType(UChar32(c)) == U_PRIVATE_USE_CHAR) return nullptr;
    return "fonts-noto-core";
}

bool packageInstalled(const char* package) {
    struct stat info;
    return stat((std::string("/usr/share/doc/") + package).c_str(), &info) == 0;
}

std::string toNfc(const std::string& utf8) {
    UErrorCode error = U_ZERO_ERROR;
    std::vector<UChar> wide(utf8.size() + 1);
    int32_t wideLength = 0;
    u_strFromUTF8(wide.data(), int32_t(wide.size()), &wideLength, utf8.data(), int32_t(utf8.size()), &error);
    const UNormalizer2* nfc = unorm2_getNFCInstance(&error);
    std::vector<UChar> composed(size_t(wideLength) * 3 + 1);
    int32_t composedLength =
        U_SUCCESS(error) ? unorm2_normalize(nfc, wide.data(), wideLength, composed.data(), int32_t(composed.size()), &error)
                         : 0;
    std::string out(size_t(composedLength) * 3 + 1, '\0');
    int32_t outLength = 0;
    if (U_SUCCESS(error)) u_strToUTF8(&out[0], int32_t(out.size()), &outLength, composed.data(), composedLength, &error);
    if (U_FAILURE(error)) return utf8;
    out.resize(size_t(outLength));
    return out;
}

}  // namespace

struct WordFonts::Impl {
    FT_Library library = nullptr;
    FcConfig* config = nullptr;
    bool ownConfig = false;
    float pixelsPerEm = 48;
    std::vector<Face> faces;  // [0]: the script font

    ~Impl() {
        for (Face& f : faces) {
            if (f.hb) hb_font_destroy(f.hb);
            if (f.ft) FT_Done_Face(f.ft);
        }
        if (ownConfig) FcConfigDestroy(config);
        if (library) FT_Done_FreeType(library);
    }

    bool scriptFontHas(uint32_t c) const {
        return faces[0].ft && FT_Get_Char_Index(faces[0].ft, FT_ULong(c)) != 0;
    }

    // The face (loaded once) of a fontconfig match.
    size_t faceOf(const std::string& file, int index, const std::string& name) {
        for (size_t i = 1; i < faces.size(); ++i)
            if (faces[i].file == file && faces[i].index == index) return i;
        Face f;
        f.file = file, f.index = index, f.name = name;
        if (FT_New_Face(library, file.c_str(), index, &f.ft) != 0) return 0;
        if (FT_HAS_COLOR(f.ft) && FT_HAS_FIXED_SIZES(f.ft) && !FT_IS_SCALABLE(f.ft)) {
            // A bitmap strike (Noto Color Emoji: 109 pixels): the nearest above the size,
            // scaled down when drawn.
            int best = 0;
            for (int s = 0; s < f.ft->num_fixed_sizes; ++s) {
                float ppem = float(f.ft->available_sizes[s].y_ppem) / 64.0f;
                float bestPpem = float(f.ft->available_sizes[best].y_ppem) / 64.0f;
                if ((bestPpem < pixelsPerEm && ppem > bestPpem) || (ppem >= pixelsPerEm && ppem < bestPpem)) best = s;
            }
            FT_Select_Size(f.ft, best);
            f.scale = pixelsPerEm / (float(f.ft->available_sizes[best].y_ppem) / 64.0f);
            f.colour = true;
        } else {
            FT_Set_Char_Size(f.ft, FT_F26Dot6(pixelsPerEm * 64), FT_F26Dot6(pixelsPerEm * 64), 72, 72);
            f.colour = FT_HAS_COLOR(f.ft);
        }
        f.hb = hb_ft_font_create_referenced(f.ft);
        faces.push_back(f);
        return faces.size() - 1;
    }

    // The first face, in the order of `families` and of an italic hand, that draws every
    // character of `chars` from first to last; 0 (the script font's index, never a
    // fallback) when none does.
    size_t fallbackFor(const std::vector<Char>& chars, size_t first, size_t last, int kind) {
        FcCharSet* wanted = FcCharSetCreate();
        for (size_t i = first; i < last; ++i)
            if (!isIgnorable(chars[i].c)) FcCharSetAddChar(wanted, chars[i].c);
        FcPattern* pattern = FcPatternCreate();
        std::vector<Char> span(chars.begin() + long(first), chars.begin() + long(last));
        for (const std::string& family : familiesFor(kind, span))
            FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
        FcPatternAddCharSet(pattern, FC_CHARSET, wanted);
        FcPatternAddInteger(pattern, FC_WEIGHT, FC_WEIGHT_REGULAR);
        if (kind == kEmoji) FcPatternAddBool(pattern, FC_COLOR, FcTrue);
        else FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ITALIC);
        FcConfigSubstitute(config, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result;
        FcFontSet* set = FcFontSort(config, pattern, FcFalse, nullptr, &result);
        size_t chosen = 0;
        for (int i = 0; set && i < set->nfont && chosen == 0; ++i) {
            FcCharSet* has = nullptr;
            FcChar8 *file = nullptr, *family = nullptr, *style = nullptr;
            int index = 0;
            if (FcPatternGetCharSet(set->fonts[i], FC_CHARSET, 0, &has) != FcResultMatch ||
                !FcCharSetIsSubset(wanted, has) ||
                FcPatternGetString(set->fonts[i], FC_FILE, 0, &file) != FcResultMatch)
                continue;
            FcPatternGetInteger(set->fonts[i], FC_INDEX, 0, &index);
            FcPatternGetString(set->fonts[i], FC_FAMILY, 0, &family);
            FcPatternGetString(set->fonts[i], FC_STYLE, 0, &style);
            std::string name = family ? reinterpret_cast<const char*>(family) : "?";
            if (style) name += std::string(" ") + reinterpret_cast<const char*>(style);
            chosen = faceOf(reinterpret_cast<const char*>(file), index, name);
        }
        if (set) FcFontSetDestroy(set);
        FcPatternDestroy(pattern);
        FcCharSetDestroy(wanted);
        return chosen;
    }
};

WordFonts::WordFonts(const unsigned char* scriptFont, size_t size, float pixelsPerEm,
                     const std::vector<std::string>& onlyFiles)
    : impl_(new Impl) {
    impl_->pixelsPerEm = pixelsPerEm;
    FT_Init_FreeType(&impl_->library);
    Face script;
    if (impl_->library && FT_New_Memory_Face(impl_->library, scriptFont, FT_Long(size), 0, &script.ft) == 0 &&
        FT_Select_Charmap(script.ft, FT_ENCODING_UNICODE) == 0) {
        // The size FTGL gives the production's own words: 48 points at 72 dots an inch.
        FT_Set_Char_Size(script.ft, FT_F26Dot6(pixelsPerEm * 64), FT_F26Dot6(pixelsPerEm * 64), 72, 72);
        script.hb = hb_ft_font_create_referenced(script.ft);
        script.name = std::string(script.ft->family_name ? script.ft->family_name : "?") + " " +
                      (script.ft->style_name ? script.ft->style_name : "");
    } else if (script.ft) {
        FT_Done_Face(script.ft);
        script.ft = nullptr;
    }
    impl_->faces.push_back(script);
    if (onlyFiles.empty()) {
        impl_->config = FcInitLoadConfigAndFonts();
    } else {
        impl_->config = FcConfigCreate();
        for (const std::string& file : onlyFiles)
            FcConfigAppFontAddFile(impl_->config, reinterpret_cast<const FcChar8*>(file.c_str()));
    }
    impl_->ownConfig = true;
    systemFonts_ = onlyFiles.empty();
}

WordFonts::~WordFonts() = default;

std::string WordFonts::faceName(size_t face) const { return impl_->faces.at(face).name; }
std::string WordFonts::faceFile(size_t face) const { return impl_->faces.at(face).file; }
int WordFonts::faceIndex(size_t face) const { return impl_->faces.at(face).index; }
void* WordFonts::ftFace(size_t face) const { return impl_->faces.at(face).ft; }
float WordFonts::faceScale(size_t face) const { return impl_->faces.at(face).scale; }
bool WordFonts::faceIsColour(size_t face) const { return impl_->faces.at(face).colour; }
float WordFonts::pixelsPerEm() const { return impl_->pixelsPerEm; }

bool WordFonts::layout(const std::string& utf8, WordLayout* out, std::vector<std::string>* undrawable) {
    Impl& im = *impl_;
    WordLayout word;
    word.text = toNfc(utf8);
    const std::string& text = word.text;

    std::vector<Char> chars;
    for (int32_t at = 0; at < int32_t(text.size());) {
        int32_t begin = at;
        UChar32 c;
        U8_NEXT(reinterpret_cast<const uint8_t*>(text.data()), at, int32_t(text.size()), c);
        if (c < 0) return false;  // not UTF-8: the parser refuses such words before
        chars.push_back({uint32_t(c), size_t(begin), size_t(at), kNeutral, 0});
    }
    if (chars.empty()) return false;
    for (size_t i = 0; i < chars.size(); ++i) {
        uint32_t c = chars[i].c, next = i + 1 < chars.size() ? chars[i + 1].c : 0;
        // What joins an emoji (ZWJ, a variation selector, a skin tone, a tag) stays with it.
        bool joinsEmoji = i > 0 && chars[i - 1].kind == kEmoji &&
                          (c == 0x200D || c == 0xFE0F || u_hasBinaryProperty(UChar32(c), UCHAR_EMOJI_MODIFIER) ||
                           (c >= 0xE0020 && c <= 0xE007F) || (chars[i - 1].c == 0x200D && kindOf(c, next) != kNeutral));
        chars[i].kind = joinsEmoji ? kEmoji : kindOf(c, next);
    }
    // Neutral characters take the kind before them; leading ones the first after them.
    int last = kNeutral;
    for (Char& ch : chars) last = ch.kind = ch.kind == kNeutral ? last : ch.kind;
    for (size_t i = chars.size(); i-- > 0;) last = chars[i].kind = chars[i].kind == kNeutral ? last : chars[i].kind;

    // Bidirectional levels over the whole word: its base direction from its first strong letter.
    std::vector<FriBidiChar> points(chars.size());
    for (size_t i = 0; i < chars.size(); ++i) points[i] = chars[i].c;
    std::vector<FriBidiCharType> types(chars.size());
    std::vector<FriBidiBracketType> brackets(chars.size());
    std::vector<FriBidiLevel> levels(chars.size());
    FriBidiStrIndex n = FriBidiStrIndex(chars.size());
    fribidi_get_bidi_types(points.data(), n, types.data());
    fribidi_get_bracket_types(points.data(), n, types.data(), brackets.data());
    FriBidiParType base = FRIBIDI_PAR_ON;
    if (!fribidi_get_par_embedding_levels_ex(types.data(), brackets.data(), n, &base, levels.data()))
        std::fill(levels.begin(), levels.end(), FriBidiLevel(0));
    for (size_t i = 0; i < chars.size(); ++i) chars[i].level = levels[i];

    // Faces: the script font where it draws the whole word; else one face for the whole
    // word where it is of one kind of writing; else a face per stretch of one kind, the
    // script font first; else a face per character.
    std::vector<size_t> faceAt(chars.size(), size_t(-1));
    auto scriptDraws = [&](size_t first, size_t end) {
        for (size_t i = first; i < end; ++i)
            if (!isIgnorable(chars[i].c) && !im.scriptFontHas(chars[i].c)) return false;
        return true;
    };
    auto assign = [&](size_t first, size_t end) {
        size_t face = scriptDraws(first, end) ? 0 : im.fallbackFor(chars, first, end, chars[first].kind);
        if (face == 0 && !scriptDraws(first, end)) return false;
        std::fill(faceAt.begin() + long(first), faceAt.begin() + long(end), face);
        return true;
    };
    bool oneKind = std::all_of(chars.begin(), chars.end(), [&](const Char& ch) { return ch.kind == chars[0].kind; });
    if (!scriptDraws(0, chars.size()) || !assign(0, chars.size())) {
        bool whole = oneKind && assign(0, chars.size());
        for (size_t first = 0; !whole && first < chars.size();) {
            size_t end = first;
            while (end < chars.size() && chars[end].kind == chars[first].kind) ++end;
            if (!assign(first, end))
                for (size_t i = first; i < end; ++i) assign(i, i + 1);
            first = end;
        }
    }
    std::vector<std::string> missing;
    for (size_t i = 0; i < chars.size(); ++i) {
        if (faceAt[i] != size_t(-1)) continue;
        if (isIgnorable(chars[i].c)) {
            faceAt[i] = i > 0 ? faceAt[i - 1] : 0;
            continue;
        }
        char code[16];
        snprintf(code, sizeof code, "U+%04X", unsigned(chars[i].c));
        bool seen = false;
        for (const std::string& m : missing) seen = seen || m.compare(0, strlen(code) + 1, std::string(code) + " ") == 0;
        if (seen) continue;
        char name[256] = "";
        UErrorCode error = U_ZERO_ERROR;
        u_charName(UChar32(chars[i].c), U_EXTENDED_CHAR_NAME, name, int32_t(sizeof name), &error);
        UScriptCode script = uscript_getScript(UChar32(chars[i].c), &error);
        std::string what = std::string(code) + " " + name + " (" +
                           (chars[i].kind == kEmoji ? "Emoji" : uscript_getName(script)) +
                           "): no installed font draws it";
        const char* package = packageFor(chars[i].c, chars[i].kind);
        if (package && !(systemFonts_ && packageInstalled(package))) what += std::string("; install ") + package;
        missing.push_back(what);
    }
    if (!missing.empty()) {
        if (undrawable) undrawable->insert(undrawable->end(), missing.begin(), missing.end());
        return false;
    }
    // A character that only one face's neighbours draw (an ignorable one) was put with the
    // run before it; the first with the run after it.
    for (size_t i = 0; i + 1 < chars.size() && isIgnorable(chars[i].c) && faceAt[i] == 0; ++i) faceAt[i] = faceAt[i + 1];

    // Runs in logical order: one face, one level.
    struct Span {
        size_t first, end, face;
        FriBidiLevel level;
    };
    std::vector<Span> spans;
    for (size_t i = 0; i < chars.size(); ++i) {
        if (spans.empty() || spans.back().face != faceAt[i] || spans.back().level != chars[i].level)
            spans.push_back({i, i + 1, faceAt[i], chars[i].level});
        else
            spans.back().end = i + 1;
    }
    // Visual order: from the highest level down to the lowest odd one, every stretch of
    // runs at that level or above is reversed.
    FriBidiLevel highest = 0, lowestOdd = 255;
    for (const Span& s : spans) {
        highest = std::max(highest, s.level);
        if (s.level % 2) lowestOdd = std::min(lowestOdd, s.level);
    }
    for (int level = highest; level >= int(lowestOdd) && level > 0; --level) {
        for (size_t i = 0; i < spans.size();) {
            if (spans[i].level < level) {
                ++i;
                continue;
            }
            size_t j = i;
            while (j < spans.size() && spans[j].level >= level) ++j;
            std::reverse(spans.begin() + long(i), spans.begin() + long(j));
            i = j;
        }
    }

    float pen = 0;
    for (const Span& s : spans) {
        const Face& face = im.faces[s.face];
        WordRun run;
        run.face = s.face;
        run.begin = chars[s.first].begin;
        run.end = chars[s.end - 1].end;
        run.rightToLeft = s.level % 2 != 0;
        hb_buffer_t* buffer = hb_buffer_create();
        hb_buffer_add_utf8(buffer, text.data(), int(text.size()), unsigned(run.begin), int(run.end - run.begin));
        hb_buffer_set_direction(buffer, run.rightToLeft ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
        hb_buffer_guess_segment_properties(buffer);
        hb_shape(face.hb, buffer, nullptr, 0);
        unsigned count = 0;
        hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buffer, &count);
        hb_glyph_position_t* position = hb_buffer_get_glyph_positions(buffer, &count);
        for (unsigned g = 0; g < count; ++g) {
            // hb-ft positions are 26.6 pixels of the face's size.
            float x = pen + float(position[g].x_offset) / 64.0f * face.scale;
            float y = float(position[g].y_offset) / 64.0f * face.scale;
            run.glyphs.push_back({info[g].codepoint, x, y});
            pen += float(position[g].x_advance) / 64.0f * face.scale;
        }
        hb_buffer_destroy(buffer);
        word.runs.push_back(run);
    }
    word.advance = pen;
    *out = word;
    return true;
}
