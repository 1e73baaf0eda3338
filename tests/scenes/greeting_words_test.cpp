#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scenes/greeting_words.h"
#include "scenes/scene_birthtext/scene_birthtext.h"
#include "support/paths.h"

namespace {

using Words = std::vector<std::string>;

TEST(GreetingWords, EightCommaSeparatedWordsWithEscapedCommas) {
    struct Case {
        const char* text;
        Words words;  // empty: refused
        const char* why;
    } cases[] = {
        {"A,B,C,D,E,F,G,H", {"A", "B", "C", "D", "E", "F", "G", "H"}, ""},
        {"Happy,40th,birthday,Anna!,Love\\, hugs,and,kisses,Bob",
         {"Happy", "40th", "birthday", "Anna!", "Love, hugs", "and", "kisses", "Bob"}, ""},
        {"a\\\\,b,c,d,e,f,g,h\\x", {"a\\", "b", "c", "d", "e", "f", "g", "h\\x"}, ""},
        {"Zo\xc3\xab,b,c,d,e,f,g,h", {"Zo\xc3\xab", "b", "c", "d", "e", "f", "g", "h"}, ""},
        {"A,B,C,D,E,F,G", {}, "exactly 8 words separated by commas, got 7: \"A\", \"B\", \"C\""},
        {"A,B,C,D,E,F,G,H,I", {}, "got 9"},
        {"A\\,B,C,D,E,F,G,H", {}, "got 7"},
        {"", {}, "got 1"},
        {"A,,C,D,E,F,G,H", {}, "word 2 is empty"},
        {"A,B,C,D,E,F,G,ok\xc3", {}, "word 8 is not UTF-8 text: byte 0xC3 at byte offset 2"},
        {"A,B,C,D,E,F,G,a\tb", {}, "word 8 holds the control character U+0009 at byte offset 1"},
        {"A,B,C,D,E,F,G,a\xc2\x85", {}, "word 8 holds the control character U+0085 at byte offset 1"},
        {"A,B,\xed\xa0\x80,D,E,F,G,H", {}, "word 3 is not UTF-8 text"},
        {"A,B,\xc0\xaf,D,E,F,G,H", {}, "word 3 is not UTF-8 text"},
    };
    for (const Case& c : cases) {
        Words words;
        std::string why;
        bool ok = parseGreetingWords(c.text, &words, &why);
        EXPECT_EQ(!c.words.empty(), ok) << c.text << ": " << why;
        if (ok) EXPECT_EQ(c.words, words) << c.text;
        else EXPECT_NE(std::string::npos, why.find(c.why)) << c.text << ": " << why;
    }
    std::string longWord(kMaxGreetingWordBytes + 1, 'x');
    Words words;
    std::string why;
    EXPECT_FALSE(parseGreetingWords("a,b,c,d,e,f,g," + longWord, &words, &why));
    EXPECT_NE(std::string::npos, why.find("word 8 is longer than")) << why;
}

TEST(GreetingWords, AFileHoldsOneWordALineAsWritten) {
    const Words eight = {"Happy", "40th", "birthday", "Anna, dear!", "Love", "from", "Bob\\", "\"Eve\""};
    struct Case {
        const char* what;
        std::string text;
        Words words;  // empty: refused
        const char* why;
    } cases[] = {
        {"LF, last line ended", "Happy\n40th\nbirthday\nAnna, dear!\nLove\nfrom\nBob\\\n\"Eve\"\n", eight, ""},
        {"CR LF, byte order mark, last line open",
         "\xEF\xBB\xBFHappy\r\n40th\r\nbirthday\r\nAnna, dear!\r\nLove\r\nfrom\r\nBob\\\r\n\"Eve\"", eight, ""},
        {"seven lines", "a\nb\nc\nd\ne\nf\ng\n", {}, "one a line, got 7: \"a\", \"b\""},
        {"an empty line", "a\nb\n\nd\ne\nf\ng\nh\n", {}, "word 3 is empty"},
        {"empty file", "", {}, "one a line, got 0"},
    };
    for (const Case& c : cases) {
        Words words;
        std::string why;
        bool ok = parseGreetingWordsFile(c.text, &words, &why);
        EXPECT_EQ(!c.words.empty(), ok) << c.what << ": " << why;
        if (ok) EXPECT_EQ(c.words, words) << c.what;
        else EXPECT_NE(std::string::npos, why.find(c.why)) << c.what << ": " << why;
    }
}

TEST(GreetingWords, ReplacedWordsAreDrawnUntilRestored) {
    EXPECT_STREQ("Tuppet!", greetingWord(3));
    EXPECT_FALSE(setGreetingWords({"only", "three", "words"}));
    EXPECT_STREQ("Tuppet!", greetingWord(3));
    ASSERT_TRUE(setGreetingWords({"1", "2", "3", "4", "5", "6", "7", "8"}));
    EXPECT_STREQ("4", greetingWord(3));
    EXPECT_STREQ("", greetingWord(8));
    ASSERT_TRUE(setGreetingWords({}));
    for (int i = 0; i < kGreetingWordCount; ++i) EXPECT_STREQ(kGreetingWords[i], greetingWord(i));
}

}  // namespace
