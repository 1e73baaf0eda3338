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
// Its size: 48 points at 72 dots an inch.
constexpr float kGreetingFontPixels = 48;

// The word at `index` (0 to 7) in drawing order: the production's own unless
// setGreetingWords replaced them.
const char* greetingWord(int index);

// Whether setGreetingWords gave words other than the production's own: then they are
// shaped, drawn in any script and fitted to the frame; the production's own go the way
// they always have.
bool greetingWordsReplaced();

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

// The whole file at `path` (at most 64 KiB: eight words need far less) into *text; false
// with "PATH: REASON" in `why`.
bool readWordsFile(const char* path, std::string* text, std::string* why);

// The words no installed face can draw whole (the script font first, read through the
// data layer: after the archive), as "word N ("W"): U+XXXX NAME (Script): no installed
// font draws it[; install PACKAGE]", each character once, "; " between; "" when every
// word can be drawn, or for no words. *fontMissing: the script font itself could not be
// read (then the reason says so).
std::string undrawableWordsReason(const std::vector<std::string>& words, bool* fontMissing);

// The words a program was given on its command line for a production with words:
// "--words LIST" or "--words-file FILE" (at most one of them). True with *words filled,
// empty when neither is there; false with the reason ("bad --words: ...") in `why`.
bool greetingWordsArguments(int argc, char** argv, std::vector<std::string>* words, std::string* why);
