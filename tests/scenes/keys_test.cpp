// The scene manager's key table and key events, without a window.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "scenes/scenemanager.h"

namespace {

// The table as the key list gives it: key symbol -> entries it sets.
std::map<int, std::set<int>> expectedTable() {
    std::map<int, std::set<int>> table;
    table[307] = {0, 27};
    table[308] = {0, 27};
    table[276] = {1};
    table[275] = {2};
    table[273] = {3};
    table[274] = {4};
    for (int digit = 1; digit <= 9; ++digit) table[48 + digit] = {4 + digit, 32 + digit};
    for (int f = 1; f <= 12; ++f) table[281 + f] = {14 + f};
    table[305] = {28};
    table[306] = {28};
    table[303] = {29};
    table[304] = {29};
    table[9] = {30};
    table[32] = {31};
    table[13] = {32};
    table[48] = {42};
    for (int letter = 0; letter < 26; ++letter) table[97 + letter] = {43 + letter};
    table[270] = {69};
    table[269] = {70};
    table[316] = {71};
    return table;
}

std::set<int> entriesOf(int key) {
    int entries[2] = {-1, -1};
    int count = keyStateEntries(key, entries);
    std::set<int> result;
    for (int i = 0; i < count; ++i) result.insert(entries[i]);
    return result;
}

std::string describe(const std::set<int>& entries) {
    std::string text = "{";
    for (int e : entries) text += std::to_string(e) + " ";
    return text + "}";
}

TEST(KeyTable, EveryListedKeySetsExactlyItsEntries) {
    for (const auto& [key, expected] : expectedTable()) {
        std::set<int> actual = entriesOf(key);
        EXPECT_EQ(expected, actual) << "key " << key << ": expected " << describe(expected)
                                    << ", got " << describe(actual);
    }
}

TEST(KeyTable, EveryEntryButFourteenHasAKey) {
    std::set<int> covered;
    for (int key = 0; key < 400; ++key) {
        for (int e : entriesOf(key)) covered.insert(e);
    }
    for (int entry = 0; entry < KeyState::kCount; ++entry) {
        EXPECT_EQ(entry != 14, covered.count(entry) == 1) << "entry " << entry;
    }
    EXPECT_EQ(0u, covered.count(KeyState::kCount)) << "no entry beyond the table";
}

TEST(KeyTable, UnlistedKeysSetNothing) {
    // Keypad digits, keypad enter, Caps Lock, F13, Delete, '-', 'A' as a symbol, 0.
    for (int key : {256, 257, 265, 271, 301, 294, 127, 45, 65, 0, 8, 19}) {
        EXPECT_TRUE(entriesOf(key).empty()) << "key " << key << " gave " << describe(entriesOf(key));
    }
}

struct EventCase {
    const char* what;
    std::vector<std::pair<bool, int>> events;  // (pressed, key)
    std::set<int> held;                         // entries at 1 afterwards
    std::string logged;                         // substring expected in stdout ("" for none)
};

TEST(KeyEvents, PressAndReleaseKeepTheFlags) {
    const EventCase cases[] = {
        {"left Alt down sets both Alt entries", {{true, 308}}, {0, 27}, ""},
        {"right Alt down then up clears both", {{true, 307}, {false, 307}}, {}, ""},
        {"digit 5 sets 9 and 37", {{true, 53}}, {9, 37}, ""},
        {"digit 0 sets only 42", {{true, 48}}, {42}, ""},
        {"i held switches the overlay entry", {{true, 105}}, {KeyState::kInfoOverlay}, ""},
        {"two keys held, one released", {{true, 97}, {true, 122}, {false, 97}}, {68}, ""},
        {"either Ctrl sets the same entry", {{true, 305}, {true, 306}}, {28}, ""},
        {"unknown key pressed is logged", {{true, 256}}, {}, "New key detected: 256\n"},
        {"key symbol 0 does nothing", {{true, 0}, {false, 0}}, {}, ""},
    };
    for (const EventCase& c : cases) {
        KeyState state;
        memset(state.held, 0, sizeof state.held);
        testing::internal::CaptureStdout();
        for (const auto& [pressed, key] : c.events) applyKeyEvent(&state, pressed, key);
        fflush(stdout);
        std::string out = testing::internal::GetCapturedStdout();
        std::set<int> held;
        for (int i = 0; i < KeyState::kCount; ++i) {
            EXPECT_TRUE(state.held[i] == 0 || state.held[i] == 1) << c.what << ": entry " << i;
            if (state.held[i]) held.insert(i);
        }
        EXPECT_EQ(c.held, held) << c.what << ": expected " << describe(c.held) << ", got "
                                << describe(held);
        if (c.logged.empty()) {
            EXPECT_EQ("", out) << c.what;
        } else {
            EXPECT_NE(std::string::npos, out.find(c.logged)) << c.what << ": log was '" << out << "'";
        }
    }
}

TEST(KeyEvents, UnknownKeyIsLoggedOnPressOnly) {
    KeyState state;
    memset(state.held, 0, sizeof state.held);
    testing::internal::CaptureStdout();
    applyKeyEvent(&state, true, 263);   // keypad 7
    applyKeyEvent(&state, false, 263);
    applyKeyEvent(&state, false, 999);  // release of a key never pressed
    fflush(stdout);
    std::string out = testing::internal::GetCapturedStdout();
    size_t first = out.find("New key detected: 263\n");
    ASSERT_NE(std::string::npos, first) << out;
    EXPECT_EQ(std::string::npos, out.find("New key detected", first + 1)) << out;
    // One line: the timestamp prefix, then the text.
    EXPECT_EQ(1, std::count(out.begin(), out.end(), '\n')) << out;
}

using KeyEventsDeathTest = testing::Test;

TEST_F(KeyEventsDeathTest, EscapeEndsTheProcessWithStatusZeroPressedOrReleased) {
    for (bool pressed : {false, true}) {
        KeyState state;
        memset(state.held, 0, sizeof state.held);
        EXPECT_EXIT(applyKeyEvent(&state, pressed, 27), testing::ExitedWithCode(0), "")
            << (pressed ? "pressed" : "released");
    }
}

}  // namespace
