// In-memory dialog templates in the classic Win32 layout (DLGTEMPLATE followed by
// DLGITEMTEMPLATE records): the builder writes them, the dialog manager reads them back.
//
// Layout, little-endian, all offsets in bytes:
//   header: style u32, extended style u32, item count u16, x, y, cx, cy (i16, dialog units),
//           menu (u16 0 = none), class (u16 0 = default), title (UTF-16, NUL-terminated);
//           the first item starts at the next 4-byte boundary.
//   item:   style u32, extended style u32, x, y, cx, cy (i16), id u16,
//           class (UTF-16 string, or 0xFFFF + atom), title (UTF-16 string, or 0xFFFF +
//           ordinal), creation-data size u16 (0), padding to the next 4-byte boundary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform::dlg {

enum : uint32_t {
    WS_POPUP = 0x80000000u,
    WS_CHILD = 0x40000000u,
    WS_VISIBLE = 0x10000000u,
    WS_CAPTION = 0x00C00000u,
    WS_SYSMENU = 0x00080000u,
    WS_TABSTOP = 0x00010000u,
    WS_MINIMIZEBOX = 0x00020000u,
    DS_MODALFRAME = 0x00000080u,
    DS_SETFONT = 0x00000040u,
    WS_EX_CONTROLPARENT = 0x00010000u,
    BS_PUSHBUTTON = 0x0,
    BS_DEFPUSHBUTTON = 0x1,
    BS_AUTOCHECKBOX = 0x3,
    BS_TYPEMASK = 0xF,
    CBS_DROPDOWNLIST = 0x3,
};

// Predefined control class atoms, for classes given by number.
enum : uint16_t { ATOM_BUTTON = 0x0080, ATOM_EDIT = 0x0081, ATOM_STATIC = 0x0082,
                  ATOM_LISTBOX = 0x0083, ATOM_SCROLLBAR = 0x0084, ATOM_COMBOBOX = 0x0085 };

// A class name or title given as a number below 0x10000 in place of a string pointer,
// as MAKEINTRESOURCE / MAKEINTATOM do.
inline const char* intResource(uint16_t value) {
    return reinterpret_cast<const char*>(static_cast<uintptr_t>(value));
}
inline bool isIntResource(const char* p) { return reinterpret_cast<uintptr_t>(p) < 0x10000; }

class DialogTemplateBuilder {
public:
    DialogTemplateBuilder();
    ~DialogTemplateBuilder();
    DialogTemplateBuilder(const DialogTemplateBuilder&) = delete;
    DialogTemplateBuilder& operator=(const DialogTemplateBuilder&) = delete;

    // Writes the header (no menu, default class, no font record) with item count 0.
    void beginTemplate(uint32_t style, uint32_t exStyle, int16_t x, int16_t y, int16_t cx,
                       int16_t cy, const char* title);
    // Appends one control; WS_CHILD is added to style. text null means no title (ordinal
    // 0); className may be an intResource atom. Grows the buffer by doubling when needed.
    void addItem(uint32_t style, const char* text, uint16_t id, const char* className,
                 int16_t x, int16_t y, int16_t cx, int16_t cy);

    const uint8_t* data() const { return buffer_; }
    size_t size() const { return position_; }      // bytes written, items padded
    size_t capacity() const { return capacity_; }  // bytes allocated (4096, doubled)

private:
    void ensure(size_t bytes);
    void put16(uint16_t v);
    void put32(uint32_t v);
    void putText(const char* text);  // string, or ordinal form for null / small numbers
    void align4();

    uint8_t* buffer_;
    size_t capacity_;
    size_t position_;
};

// UTF-8 <-> UTF-16 as the template stores texts; invalid input becomes U+FFFD.
std::vector<uint16_t> utf8ToUtf16(const char* text);
std::string utf16ToUtf8(const uint16_t* text, size_t count);

// A template read back.
struct TemplateName {
    bool isOrdinal = false;
    uint16_t ordinal = 0;
    std::string text;  // UTF-8
};

struct TemplateItem {
    uint32_t style = 0, exStyle = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    uint16_t id = 0;
    TemplateName className, title;
};

struct DialogTemplate {
    uint32_t style = 0, exStyle = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    TemplateName menu, className;
    std::string title;
    std::vector<TemplateItem> items;
};

// Reads a template of size bytes. False (and out unspecified) when the bytes do not hold
// a complete template: truncated, an unterminated string, or creation data that runs
// past the end. A DS_SETFONT font record (point size, face name) is read and skipped.
bool readDialogTemplate(const uint8_t* bytes, size_t size, DialogTemplate* out);

}  // namespace platform::dlg
