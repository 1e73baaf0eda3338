#include "platform/dialog/dialog_template.h"

#include <cstdlib>
#include <cstring>

#include "log.h"

namespace platform::dlg {

namespace {
constexpr size_t kInitialCapacity = 4096;
constexpr size_t kHeaderBytes = 18;  // style, exStyle, count, x, y, cx, cy
constexpr size_t kItemBytes = 18;    // style, exStyle, x, y, cx, cy, id
constexpr size_t kItemCountOffset = 8;

size_t textBytes(const char* text) {
    if (text == nullptr || isIntResource(text)) return 4;
    return (utf8ToUtf16(text).size() + 1) * 2;
}

size_t roundUp4(size_t n) { return (n + 3) & ~size_t(3); }
}  // namespace

std::vector<uint16_t> utf8ToUtf16(const char* text) {
    std::vector<uint16_t> out;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    while (*p) {
        uint32_t cp;
        int extra;
        if (*p < 0x80) { cp = *p; extra = 0; }
        else if ((*p & 0xE0) == 0xC0) { cp = *p & 0x1F; extra = 1; }
        else if ((*p & 0xF0) == 0xE0) { cp = *p & 0x0F; extra = 2; }
        else if ((*p & 0xF8) == 0xF0) { cp = *p & 0x07; extra = 3; }
        else { out.push_back(0xFFFD); ++p; continue; }
        ++p;
        bool valid = true;
        for (int i = 0; i < extra; ++i) {
            if ((*p & 0xC0) != 0x80) { valid = false; break; }
            cp = (cp << 6) | (*p & 0x3F);
            ++p;
        }
        static const uint32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
        if (!valid || cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) {
            out.push_back(0xFFFD);
        } else if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(uint16_t(0xD800 + (cp >> 10)));
            out.push_back(uint16_t(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(uint16_t(cp));
        }
    }
    return out;
}

std::string utf16ToUtf8(const uint16_t* text, size_t count) {
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        uint32_t cp = text[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < count && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp < 0xE000) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out += char(cp);
        } else if (cp < 0x800) {
            out += char(0xC0 | (cp >> 6));
            out += char(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += char(0xE0 | (cp >> 12));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        } else {
            out += char(0xF0 | (cp >> 18));
            out += char(0x80 | ((cp >> 12) & 0x3F));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

DialogTemplateBuilder::DialogTemplateBuilder()
    : buffer_(static_cast<uint8_t*>(calloc(kInitialCapacity, 1))),
      capacity_(kInitialCapacity),
      position_(0) {
    if (!buffer_) FATAL("Out of memory for the dialog template (%zu bytes)\n", kInitialCapacity);
}

DialogTemplateBuilder::~DialogTemplateBuilder() { free(buffer_); }

void DialogTemplateBuilder::ensure(size_t bytes) {
    size_t capacity = capacity_;
    while (capacity - position_ < bytes) capacity *= 2;
    if (capacity == capacity_) return;
    uint8_t* grown = static_cast<uint8_t*>(realloc(buffer_, capacity));
    if (!grown) FATAL("Out of memory for the dialog template (%zu bytes)\n", capacity);
    memset(grown + capacity_, 0, capacity - capacity_);
    buffer_ = grown;
    capacity_ = capacity;
}

void DialogTemplateBuilder::put16(uint16_t v) {
    buffer_[position_++] = uint8_t(v & 0xFF);
    buffer_[position_++] = uint8_t(v >> 8);
}

void DialogTemplateBuilder::put32(uint32_t v) {
    put16(uint16_t(v & 0xFFFF));
    put16(uint16_t(v >> 16));
}

void DialogTemplateBuilder::putText(const char* text) {
    if (text == nullptr || isIntResource(text)) {
        put16(0xFFFF);
        put16(uint16_t(reinterpret_cast<uintptr_t>(text)));
        return;
    }
    for (uint16_t unit : utf8ToUtf16(text)) put16(unit);
    put16(0);
}

void DialogTemplateBuilder::align4() {
    while (position_ % 4 != 0) buffer_[position_++] = 0;
}

void DialogTemplateBuilder::beginTemplate(uint32_t style, uint32_t exStyle, int16_t x, int16_t y,
                                          int16_t cx, int16_t cy, const char* title) {
    position_ = 0;
    size_t bytes = roundUp4(kHeaderBytes + 4 + (utf8ToUtf16(title ? title : "").size() + 1) * 2);
    ensure(bytes);
    put32(style);
    put32(exStyle);
    put16(0);  // item count, raised by addItem
    put16(uint16_t(x));
    put16(uint16_t(y));
    put16(uint16_t(cx));
    put16(uint16_t(cy));
    put16(0);  // no menu
    put16(0);  // default dialog class
    for (uint16_t unit : utf8ToUtf16(title ? title : "")) put16(unit);
    put16(0);
    align4();
}

void DialogTemplateBuilder::addItem(uint32_t style, const char* text, uint16_t id,
                                    const char* className, int16_t x, int16_t y, int16_t cx,
                                    int16_t cy) {
    uint16_t count = uint16_t(buffer_[kItemCountOffset] | (buffer_[kItemCountOffset + 1] << 8));
    if (position_ == 0 || count == 0xFFFF) {
        // No header yet, or the 16-bit item count is full: the item cannot be recorded.
        logLine("Dialog template: cannot add item %u\n", unsigned(id));
        return;
    }
    ensure(roundUp4(kItemBytes + textBytes(className) + textBytes(text) + 2));
    put32(style | WS_CHILD);
    put32(0);
    put16(uint16_t(x));
    put16(uint16_t(y));
    put16(uint16_t(cx));
    put16(uint16_t(cy));
    put16(id);
    putText(className);
    putText(text);
    put16(0);  // no creation data
    align4();
    ++count;
    buffer_[kItemCountOffset] = uint8_t(count & 0xFF);
    buffer_[kItemCountOffset + 1] = uint8_t(count >> 8);
}

namespace {

class Reader {
public:
    Reader(const uint8_t* bytes, size_t size) : bytes_(bytes), size_(size) {}
    bool u16(uint16_t* v) {
        if (size_ - pos_ < 2) return false;
        *v = uint16_t(bytes_[pos_] | (bytes_[pos_ + 1] << 8));
        pos_ += 2;
        return true;
    }
    bool i16(int16_t* v) {
        uint16_t u;
        if (!u16(&u)) return false;
        *v = int16_t(u);
        return true;
    }
    bool u32(uint32_t* v) {
        uint16_t lo, hi;
        if (!u16(&lo) || !u16(&hi)) return false;
        *v = uint32_t(lo) | (uint32_t(hi) << 16);
        return true;
    }
    bool string(std::string* out) {
        std::vector<uint16_t> units;
        uint16_t unit;
        while (true) {
            if (!u16(&unit)) return false;
            if (unit == 0) break;
            units.push_back(unit);
        }
        *out = utf16ToUtf8(units.data(), units.size());
        return true;
    }
    // A string, or 0xFFFF + ordinal; a lone 0 word is the empty string (no menu, default class).
    bool name(TemplateName* out) {
        uint16_t first;
        if (!u16(&first)) return false;
        if (first == 0xFFFF) {
            out->isOrdinal = true;
            return u16(&out->ordinal);
        }
        out->isOrdinal = false;
        pos_ -= 2;
        return string(&out->text);
    }
    bool skip(size_t n) {
        if (size_ - pos_ < n) return false;
        pos_ += n;
        return true;
    }
    bool align4() { return skip((4 - pos_ % 4) % 4); }
    size_t position() const { return pos_; }

private:
    const uint8_t* bytes_;
    size_t size_;
    size_t pos_ = 0;
};

}  // namespace

bool readDialogTemplate(const uint8_t* bytes, size_t size, DialogTemplate* out) {
    if (bytes == nullptr) return false;
    Reader r(bytes, size);
    uint16_t count;
    if (!r.u32(&out->style) || !r.u32(&out->exStyle) || !r.u16(&count) || !r.i16(&out->x) ||
        !r.i16(&out->y) || !r.i16(&out->cx) || !r.i16(&out->cy) || !r.name(&out->menu) ||
        !r.name(&out->className) || !r.string(&out->title)) {
        return false;
    }
    if (out->style & DS_SETFONT) {
        uint16_t pointSize;
        std::string face;
        if (!r.u16(&pointSize) || !r.string(&face)) return false;
    }
    out->items.clear();
    for (uint16_t i = 0; i < count; ++i) {
        // Items start on 4-byte boundaries; padding after the last one may be absent.
        if (!r.align4()) return false;
        TemplateItem item;
        uint16_t extra;
        if (!r.u32(&item.style) || !r.u32(&item.exStyle) || !r.i16(&item.x) || !r.i16(&item.y) ||
            !r.i16(&item.cx) || !r.i16(&item.cy) || !r.u16(&item.id) || !r.name(&item.className) ||
            !r.name(&item.title) || !r.u16(&extra)) {
            return false;
        }
        // A non-zero creation-data size counts its own size word.
        if (extra == 1 || (extra > 1 && !r.skip(extra - 2))) return false;
        out->items.push_back(item);
    }
    return true;
}

}  // namespace platform::dlg
