#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "main/setup_dialog.h"
#include "platform/dialog/dialog_template.h"

using namespace platform::dlg;

namespace {

uint16_t u16At(const uint8_t* p, size_t offset) { return uint16_t(p[offset] | (p[offset + 1] << 8)); }
uint32_t u32At(const uint8_t* p, size_t offset) {
    return uint32_t(u16At(p, offset)) | (uint32_t(u16At(p, offset + 2)) << 16);
}
// The UTF-16 string at offset, as ASCII, and the offset after its NUL.
std::string asciiAt(const uint8_t* p, size_t offset, size_t* end) {
    std::string out;
    while (uint16_t unit = u16At(p, offset)) {
        out += char(unit);
        offset += 2;
    }
    *end = offset + 2;
    return out;
}

TEST(DialogTemplateBytes, SetupDialogHeaderFields) {
    DialogTemplateBuilder b;
    buildSetupDialogTemplate(&b);
    const uint8_t* p = b.data();
    struct Field {
        const char* name;
        size_t offset, width;
        uint32_t expected;
    } fields[] = {
        {"style", 0, 4, 0x80CA0080u}, {"extended style", 4, 4, 0x00010000u},
        {"item count", 8, 2, 8},      {"x", 10, 2, 300},
        {"y", 12, 2, 300},            {"cx", 14, 2, 135},
        {"cy", 16, 2, 55},            {"menu", 18, 2, 0},
        {"class", 20, 2, 0},
    };
    for (const Field& f : fields) {
        uint32_t actual = f.width == 4 ? u32At(p, f.offset) : u16At(p, f.offset);
        EXPECT_EQ(f.expected, actual) << f.name << " at byte " << f.offset;
    }
    size_t end;
    EXPECT_EQ("Festoonery!", asciiAt(p, 22, &end));
    EXPECT_EQ(46u, end);
    EXPECT_EQ(0, u16At(p, 46)) << "padding to the first item";
    EXPECT_EQ(488u, b.size());
    EXPECT_EQ(4096u, b.capacity());
}

TEST(DialogTemplateBytes, SetupDialogItemsAreLaidOutOnFourByteBoundaries) {
    DialogTemplateBuilder b;
    buildSetupDialogTemplate(&b);
    const uint8_t* p = b.data();
    struct Item {
        size_t offset;
        uint32_t style;
        int x, y, cx, cy, id;
        const char* className;
        const char* title;  // null: ordinal 0
    } items[] = {
        {48, 0x50000000u, 5, 5, 65, 10, 0, "STATIC", "Choose resolution"},
        {120, 0x50010003u, 75, 5, 55, 500, 100, "COMBOBOX", nullptr},
        {164, 0x50000000u, 5, 20, 65, 10, 0, "STATIC", "Anti-aliasing"},
        {228, 0x50010003u, 75, 20, 55, 500, 102, "COMBOBOX", nullptr},
        {272, 0x50010001u, 5, 35, 30, 15, 1, "BUTTON", "&Runit"},
        {320, 0x50010000u, 40, 35, 30, 15, 2, "BUTTON", "&Nah"},
        {364, 0x50010003u, 75, 35, 55, 10, 101, "BUTTON", "&Fullscreen"},
        {424, 0x50010003u, 75, 45, 55, 10, 103, "BUTTON", "&Vsync enable"},
    };
    for (const Item& it : items) {
        SCOPED_TRACE(testing::Message() << "item at byte " << it.offset);
        size_t o = it.offset;
        EXPECT_EQ(it.style, u32At(p, o));
        EXPECT_EQ(0u, u32At(p, o + 4)) << "extended style";
        EXPECT_EQ(it.x, int16_t(u16At(p, o + 8)));
        EXPECT_EQ(it.y, int16_t(u16At(p, o + 10)));
        EXPECT_EQ(it.cx, int16_t(u16At(p, o + 12)));
        EXPECT_EQ(it.cy, int16_t(u16At(p, o + 14)));
        EXPECT_EQ(it.id, u16At(p, o + 16));
        size_t end;
        EXPECT_EQ(it.className, asciiAt(p, o + 18, &end));
        if (it.title) {
            EXPECT_EQ(it.title, asciiAt(p, end, &end));
        } else {
            EXPECT_EQ(0xFFFF, u16At(p, end));
            EXPECT_EQ(0, u16At(p, end + 2));
            end += 4;
        }
        EXPECT_EQ(0, u16At(p, end)) << "creation data size";
        end += 2;
        for (; end % 4 != 0; ++end) EXPECT_EQ(0, p[end]) << "padding byte " << end;
    }
}

TEST(DialogTemplateBytes, OrdinalFormsForNumericClassesAndTitles) {
    struct Case {
        const char* className;
        const char* title;
        std::vector<uint16_t> expectedWords;  // class and title fields
    } cases[] = {
        {intResource(ATOM_BUTTON), nullptr, {0xFFFF, 0x0080, 0xFFFF, 0x0000}},
        {intResource(ATOM_COMBOBOX), intResource(7), {0xFFFF, 0x0085, 0xFFFF, 0x0007}},
        {"X", intResource(0xFFFE), {'X', 0, 0xFFFF, 0xFFFE}},
        {intResource(ATOM_STATIC), "", {0xFFFF, 0x0082, 0}},
    };
    for (const Case& c : cases) {
        DialogTemplateBuilder b;
        b.beginTemplate(0, 0, 0, 0, 10, 10, "");
        size_t itemStart = b.size();
        EXPECT_EQ(24u, itemStart) << "header with an empty title, padded";
        b.addItem(0, c.title, 9, c.className, 1, 2, 3, 4);
        for (size_t i = 0; i < c.expectedWords.size(); ++i) {
            EXPECT_EQ(c.expectedWords[i], u16At(b.data(), itemStart + 18 + 2 * i)) << "word " << i;
        }
        size_t creation = itemStart + 18 + 2 * c.expectedWords.size();
        EXPECT_EQ(0, u16At(b.data(), creation));
        EXPECT_EQ((creation + 2 + 3) & ~size_t(3), b.size());
        EXPECT_EQ(0x40000000u, u32At(b.data(), itemStart)) << "WS_CHILD is always added";
    }
}

TEST(DialogTemplateBytes, GrowsByDoublingPast4096BytesAndKeepsEveryItem) {
    struct Case {
        int items;
        size_t textLength;
        size_t expectedCapacity;
    } cases[] = {
        {1, 10, 4096},
        {35, 40, 4096},     // 28 + 35 * 116 = 4088 bytes still fit
        {36, 40, 8192},     // 4204 bytes
        {100, 40, 16384},
        {3, 3000, 32768},   // single items larger than the buffer grow it in one call
    };
    for (const Case& c : cases) {
        DialogTemplateBuilder b;
        b.beginTemplate(0, 0, 0, 0, 1, 1, "T");  // header: 26 bytes, padded to 28
        std::vector<std::string> texts;
        for (int i = 0; i < c.items; ++i) {
            std::string text(c.textLength, char('a' + i % 26));
            texts.push_back(text);
            b.addItem(WS_VISIBLE, text.c_str(), uint16_t(1000 + i), "STATIC", int16_t(i), 0, 1, 1);
        }
        size_t itemBytes = (18 + 14 + (c.textLength + 1) * 2 + 2 + 3) & ~size_t(3);
        EXPECT_EQ(28 + itemBytes * size_t(c.items), b.size()) << c.items << " items";
        EXPECT_LE(b.size(), b.capacity());
        size_t capacity = 4096;
        while (capacity < b.size()) capacity *= 2;
        EXPECT_EQ(capacity, b.capacity()) << c.items << " items of " << c.textLength;

        DialogTemplate t;
        ASSERT_TRUE(readDialogTemplate(b.data(), b.size(), &t));
        ASSERT_EQ(size_t(c.items), t.items.size());
        for (int i = 0; i < c.items; ++i) {
            EXPECT_EQ(texts[size_t(i)], t.items[size_t(i)].title.text) << "item " << i;
            EXPECT_EQ(1000 + i, t.items[size_t(i)].id);
            EXPECT_EQ(i, t.items[size_t(i)].x);
        }
    }
}

TEST(DialogTemplateReader, ReadsTheSetupDialogBack) {
    DialogTemplateBuilder b;
    buildSetupDialogTemplate(&b);
    DialogTemplate t;
    ASSERT_TRUE(readDialogTemplate(b.data(), b.size(), &t));
    EXPECT_EQ("Festoonery!", t.title);
    EXPECT_EQ(0x80CA0080u, t.style);
    EXPECT_EQ(135, t.cx);
    ASSERT_EQ(8u, t.items.size());
    const char* titles[] = {"Choose resolution", "", "Anti-aliasing", "", "&Runit", "&Nah",
                            "&Fullscreen", "&Vsync enable"};
    const bool ordinal[] = {false, true, false, true, false, false, false, false};
    for (size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(titles[i], t.items[i].title.text) << "item " << i;
        EXPECT_EQ(ordinal[i], t.items[i].title.isOrdinal) << "item " << i;
        EXPECT_FALSE(t.items[i].className.isOrdinal) << "item " << i;
    }
    EXPECT_EQ(500, t.items[1].cy);
    EXPECT_EQ("COMBOBOX", t.items[3].className.text);
}

TEST(DialogTemplateReader, RejectsEveryTruncation) {
    DialogTemplateBuilder b;
    buildSetupDialogTemplate(&b);
    // The last item ends with its creation word at byte 424 + 18 + 14 + 28 + 2 = 486; the
    // padding after it is optional.
    const size_t lastByte = 486;
    DialogTemplate t;
    for (size_t size = 0; size < lastByte; ++size) {
        EXPECT_FALSE(readDialogTemplate(b.data(), size, &t)) << "cut at " << size << " bytes";
    }
    for (size_t size = lastByte; size <= b.size(); ++size) {
        EXPECT_TRUE(readDialogTemplate(b.data(), size, &t)) << "cut at " << size << " bytes";
    }
    EXPECT_FALSE(readDialogTemplate(nullptr, 100, &t));
}

TEST(DialogTemplateReader, SkipsFontRecordsAndCreationData) {
    // Hand-made: DS_SETFONT header with point size 8 and face "F", one item with 4 bytes
    // of creation data (size word included).
    std::vector<uint8_t> bytes = {
        0x40, 0, 0, 0,  0, 0, 0, 0,  1, 0,  0, 0, 0, 0, 10, 0, 10, 0,  // header
        0, 0,  0, 0,  'T', 0, 0, 0,                                   // menu, class, "T"
        8, 0,  'F', 0, 0, 0,                                          // font record
        0, 0, 0, 0x50,  0, 0, 0, 0,  1, 0, 2, 0, 3, 0, 4, 0,  5, 0,   // item
        0xFF, 0xFF, 0x82, 0,  'x', 0, 0, 0,                           // class, title
        4, 0,  0xAB, 0xCD,                                            // creation data
    };
    DialogTemplate t;
    ASSERT_TRUE(readDialogTemplate(bytes.data(), bytes.size(), &t));
    EXPECT_EQ("T", t.title);
    ASSERT_EQ(1u, t.items.size());
    EXPECT_EQ(5, t.items[0].id);
    EXPECT_TRUE(t.items[0].className.isOrdinal);
    EXPECT_EQ(ATOM_STATIC, t.items[0].className.ordinal);
    EXPECT_EQ("x", t.items[0].title.text);
    EXPECT_FALSE(readDialogTemplate(bytes.data(), bytes.size() - 1, &t))
        << "creation data past the end";
}

TEST(DialogTemplateText, ConvertsBetweenUtf8AndUtf16) {
    struct Case {
        const char* utf8;
        std::vector<uint16_t> utf16;
        const char* back;  // what utf16ToUtf8 gives for utf16
    } cases[] = {
        {"Festoonery!", {'F', 'e', 's', 't', 'o', 'o', 'n', 'e', 'r', 'y', '!'}, "Festoonery!"},
        {"", {}, ""},
        {"\xC3\xA9", {0x00E9}, "\xC3\xA9"},
        {"\xE2\x82\xAC", {0x20AC}, "\xE2\x82\xAC"},
        {"\xF0\x9F\x98\x80", {0xD83D, 0xDE00}, "\xF0\x9F\x98\x80"},
        {"a\xFF" "b", {'a', 0xFFFD, 'b'}, "a\xEF\xBF\xBD" "b"},
        {"\xC3", {0xFFFD}, "\xEF\xBF\xBD"},        // cut sequence
        {"\xC0\xAF", {0xFFFD}, "\xEF\xBF\xBD"},    // overlong form
        {"\xED\xA0\x80", {0xFFFD}, "\xEF\xBF\xBD"},  // a surrogate written as UTF-8
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.utf16, utf8ToUtf16(c.utf8)) << "from " << testing::PrintToString(c.utf8);
        EXPECT_EQ(c.back, utf16ToUtf8(c.utf16.data(), c.utf16.size()));
    }
    const uint16_t lone[] = {'a', 0xD800, 'b'};
    EXPECT_EQ("a\xEF\xBF\xBD" "b", utf16ToUtf8(lone, 3)) << "unpaired surrogate";
}

}  // namespace
