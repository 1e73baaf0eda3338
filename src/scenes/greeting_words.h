// The eight words of the greeting: the production's own, or eight others given to the
// offline renderer (festoonery-capture --words), which draws them in the same places.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The greeting's own words, in drawing order.
constexpr int kGreetingWordCount = 8;
extern const char* const kGreetingWords[kGreetingWordCount];

// The script font the words are drawn in.
constexpr const char* kGreetingFontPath = "data/common/fonts/BaroqueScript.ttf";

// The word at `index` (0 to 7) in drawing order: the production's own unless
// setGreetingWords replaced them.
const char* greetingWord(int index);

// Replaces the eight words for every later frame; an empty list restores the production's.
// Words are UTF-8 text. Returns false (and changes nothing) for any other count.
bool setGreetingWords(const std::vector<std::string>& words);

// "W1,W2,...,W8": exactly eight words, in drawing order; "\," is a comma inside a word
// and "\\" a backslash (any other backslash stands for itself). Every word must be
// non-empty UTF-8 of at most kMaxGreetingWordBytes bytes, without control characters.
// False with the reason in `why`: the words found for a wrong count, the byte offset in
// the word of a byte that is not UTF-8 or of a control character.
constexpr size_t kMaxGreetingWordBytes = 200;
bool parseGreetingWords(const std::string& text, std::vector<std::string>* words, std::string* why);
// The same from a file's text: one word a line, as written (no escapes); lines end in
// LF or CR LF, the last one may lack its end; a leading UTF-8 byte order mark is skipped.
bool parseGreetingWordsFile(const std::string& text, std::vector<std::string>* words, std::string* why);

// The characters of `word` (UTF-8) for which the font in `font` (a TrueType or OpenType
// file image) has no glyph, each once, in order of first use, as UTF-8 text; "" when it
// has them all. A font FreeType cannot read lacks every character.
std::string missingGlyphs(const unsigned char* font, size_t size, const std::string& word);

// The whole file at `path` (at most 64 KiB: eight words need far less) into *text; false
// with "PATH: REASON" in `why`.
bool readWordsFile(const char* path, std::string* text, std::string* why);

// The first word the greeting's script font (read through the data layer: after the
// archive) cannot draw, as "word N ("W"): the script font has no glyph for "X""; "" when
// it draws them all, or for no words. *fontMissing: the font itself could not be read
// (then the reason says so).
std::string undrawableWordsReason(const std::vector<std::string>& words, bool* fontMissing);

// The words a program was given on its command line for a production with words:
// "--words LIST" or "--words-file FILE" (at most one of them). True with *words filled,
// empty when neither is there; false with the reason ("bad --words: ...") in `why`.
bool greetingWordsArguments(int argc, char** argv, std::vector<std::string>* words, std::string* why);
