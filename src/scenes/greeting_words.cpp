#include "scenes/greeting_words.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "util/data/data.h"
#include "util/text/word_layout.h"

const char* const kGreetingWords[kGreetingWordCount] = {"Happy", "0x20", "birthday", "Tuppet!",
                                                        "Best",  "wishes", "from",   "Morvaset"};

namespace {

std::vector<std::string> g_words;  // empty: the production's own

// Decodes one UTF-8 character at text[*at], moving *at past it; false for a byte
// sequence that is not UTF-8 (overlong forms, surrogates and values past U+10FFFF too).
bool nextCodePoint(const std::string& text, size_t* at, uint32_t* out) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text.data());
    size_t i = *at, n = text.size();
    unsigned char c = s[i];
    int extra;
    uint32_t value, least;
    if (c < 0x80) {
        extra = 0, value = c, least = 0;
    } else if ((c & 0xE0) == 0xC0) {
        extra = 1, value = c & 0x1F, least = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        extra = 2, value = c & 0x0F, least = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        extra = 3, value = c & 0x07, least = 0x10000;
    } else {
        return false;
    }
    for (int k = 1; k <= extra; ++k) {
        if (i + size_t(k) >= n || (s[i + size_t(k)] & 0xC0) != 0x80) return false;
        value = (value << 6) | (s[i + size_t(k)] & 0x3F);
    }
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
    *at = i + 1 + size_t(extra);
    *out = value;
    return true;
}

}  // namespace

const char* greetingWord(int index) {
    if (index < 0 || index >= kGreetingWordCount) return "";
    return g_words.empty() ? kGreetingWords[index] : g_words[size_t(index)].c_str();
}

bool greetingWordsReplaced() {
    for (size_t i = 0; i < g_words.size(); ++i)
        if (g_words[i] != kGreetingWords[i]) return true;
    return false;  // none, or the production's own given again: drawn as always
}

bool setGreetingWords(const std::vector<std::string>& words) {
    if (!words.empty() && words.size() != size_t(kGreetingWordCount)) return false;
    g_words = words;
    return true;
}

namespace {

// "\"A\", \"B\", ...": the words found, quoted, for a refusal of their count (each cut at
// 40 bytes, the list at 12 words).
std::string quotedList(const std::vector<std::string>& found) {
    std::string list;
    for (size_t i = 0; i < found.size() && i < 12; ++i) {
        std::string w = found[i].substr(0, 40);
        list += (i ? ", \"" : "\"") + w + (w.size() < found[i].size() ? "...\"" : "\"");
    }
    if (found.size() > 12) list += ", ...";
    return list;
}

// Each of the eight words non-empty, at most kMaxGreetingWordBytes, UTF-8 without control
// characters; where not, the first fault in `why` with the byte it lies at in the word.
bool checkWords(const std::vector<std::string>& found, std::string* why) {
    for (size_t i = 0; i < found.size(); ++i) {
        std::string which = "word " + std::to_string(i + 1);
        const std::string& w = found[i];
        if (w.empty()) {
            *why = which + " is empty";
            return false;
        }
        if (w.size() > kMaxGreetingWordBytes) {
            *why = which + " is longer than " + std::to_string(kMaxGreetingWordBytes) + " bytes";
            return false;
        }
        for (size_t at = 0; at < w.size();) {
            size_t start = at;
            uint32_t c;
            char hex[16];
            if (!nextCodePoint(w, &at, &c)) {
                snprintf(hex, sizeof hex, "0x%02X", unsigned(static_cast<unsigned char>(w[start])));
                *why = which + " is not UTF-8 text: byte " + hex + " at byte offset " + std::to_string(start) +
                       " of the word begins no character";
                return false;
            }
            // C0 and C1 controls, DEL: nothing a greeting draws.
            if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
                snprintf(hex, sizeof hex, "U+%04X", unsigned(c));
                *why = which + " holds the control character " + hex + " at byte offset " + std::to_string(start);
                return false;
            }
        }
    }
    return true;
}

}  // namespace

bool parseGreetingWords(const std::string& text, std::vector<std::string>* words, std::string* why) {
    std::vector<std::string> found(1);
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\\' && i + 1 < text.size() && (text[i + 1] == ',' || text[i + 1] == '\\')) {
            found.back() += text[++i];
        } else if (c == ',') {
            found.emplace_back();
        } else {
            found.back() += c;
        }
    }
    if (found.size() != size_t(kGreetingWordCount)) {
        *why = "expected exactly " + std::to_string(kGreetingWordCount) + " words separated by commas, got " +
               std::to_string(found.size()) + ": " + quotedList(found) + " (a comma inside a word is written \\,)";
        return false;
    }
    if (!checkWords(found, why)) return false;
    *words = found;
    return true;
}

bool parseGreetingWordsFile(const std::string& text, std::vector<std::string>* words, std::string* why) {
    size_t begin = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;  // a byte order mark some editors write
    std::vector<std::string> found;
    while (begin < text.size()) {
        size_t end = text.find('\n', begin);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(begin, end - begin);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        found.push_back(line);
        begin = end + 1;
    }
    if (found.size() != size_t(kGreetingWordCount)) {
        *why = "expected exactly " + std::to_string(kGreetingWordCount) + " words, one a line, got " +
               std::to_string(found.size()) + (found.empty() ? "" : ": " + quotedList(found));
        return false;
    }
    if (!checkWords(found, why)) return false;
    *words = found;
    return true;
}

bool readWordsFile(const char* path, std::string* text, std::string* why) {
    FILE* file = fopen(path, "rb");
    if (!file) {
        *why = std::string(path) + ": " + strerror(errno);
        return false;
    }
    char chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0 && text->size() <= 65536) text->append(chunk, got);
    bool failed = ferror(file) != 0;
    fclose(file);
    if (failed) *why = std::string(path) + ": read error";
    else if (text->size() > 65536) *why = std::string(path) + ": longer than 64 KiB";
    else return true;
    return false;
}

std::string undrawableWordsReason(const std::vector<std::string>& words, bool* fontMissing) {
    *fontMissing = false;
    if (words.empty()) return std::string();
    FILE* file = dataOpen(kGreetingFontPath, "rb");
    if (!file) {
        *fontMissing = true;
        return std::string("cannot read the script font ") + kGreetingFontPath;
    }
    std::vector<unsigned char> font;
    unsigned char chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) font.insert(font.end(), chunk, chunk + got);
    fclose(file);
    WordFonts fonts(font.data(), font.size(), kGreetingFontPixels);
    std::string why;
    for (size_t i = 0; i < words.size(); ++i) {
        WordLayout layout;
        std::vector<std::string> undrawable;
        if (fonts.layout(words[i], &layout, &undrawable)) continue;
        if (!why.empty()) why += "; ";
        why += "word " + std::to_string(i + 1) + " (\"" + words[i] + "\"): ";
        for (size_t k = 0; k < undrawable.size(); ++k) why += (k ? "; " : "") + undrawable[k];
    }
    return why;
}

bool greetingWordsArguments(int argc, char** argv, std::vector<std::string>* words, std::string* why) {
    words->clear();
    bool given = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg != "--words" && arg != "--words-file") continue;
        if (given) {
            *why = "give the words once: --words or --words-file";
            return false;
        }
        if (i + 1 >= argc) {
            *why = arg + " needs a value";
            return false;
        }
        given = true;
        const char* value = argv[++i];
        std::string reason;
        if (arg == "--words") {
            if (!parseGreetingWords(value, words, &reason)) {
                *why = "bad --words: " + reason;
                return false;
            }
            continue;
        }
        std::string text;
        if (!readWordsFile(value, &text, &reason)) {
            *why = "cannot read --words-file " + reason;
            return false;
        }
        if (!parseGreetingWordsFile(text, words, &reason)) {
            *why = "bad --words-file: " + reason;
            return false;
        }
    }
    return true;
}
