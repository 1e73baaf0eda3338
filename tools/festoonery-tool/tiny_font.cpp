#include "tiny_font.h"

#include <cctype>

namespace tool {
namespace {

// Five rows of three bits each (the top row first, the left pixel the high bit).
struct Glyph {
    char c;
    const char* rows;  // five digits 0-7
};

const Glyph kGlyphs[] = {
    {'0', "75557"}, {'1', "26227"}, {'2', "71747"}, {'3', "71317"}, {'4', "55711"}, {'5', "74717"},
    {'6', "74757"}, {'7', "71122"}, {'8', "75757"}, {'9', "75717"}, {'A', "25755"}, {'B', "65656"},
    {'C', "34443"}, {'D', "65556"}, {'E', "74647"}, {'F', "74644"}, {'G', "34553"}, {'H', "55755"},
    {'I', "72227"}, {'J', "11153"}, {'K', "55655"}, {'L', "44447"}, {'M', "57755"}, {'N', "65555"},
    {'O', "25552"}, {'P', "65644"}, {'Q', "25573"}, {'R', "65655"}, {'S', "34716"}, {'T', "72222"},
    {'U', "55557"}, {'V', "55552"}, {'W', "55775"}, {'X', "55255"}, {'Y', "55222"}, {'Z', "71247"},
    {'.', "00002"}, {',', "00024"}, {'-', "00700"}, {'+', "02720"}, {':', "02020"}, {'_', "00007"},
    {'/', "11244"}, {'(', "12221"}, {')', "42224"}, {'\'', "22000"}, {'=', "07070"}, {'%', "51245"},
};

const char* rowsOf(char c) {
    char upper = char(toupper(static_cast<unsigned char>(c)));
    for (const Glyph& g : kGlyphs)
        if (g.c == upper) return g.rows;
    return nullptr;
}

}  // namespace

int textWidth(const std::string& text, int scale) { return int(text.size()) * 4 * scale; }

int drawText(uint8_t* rgba, int width, int height, int x, int y, const std::string& text, int scale,
             const uint8_t colour[3]) {
    for (char c : text) {
        const char* rows = rowsOf(c);
        for (int row = 0; rows && row < 5; ++row) {
            int bits = rows[row] - '0';
            for (int col = 0; col < 3; ++col) {
                if (!(bits & (4 >> col))) continue;
                for (int dy = 0; dy < scale; ++dy) {
                    for (int dx = 0; dx < scale; ++dx) {
                        int px = x + col * scale + dx, py = y + row * scale + dy;
                        if (px < 0 || py < 0 || px >= width || py >= height) continue;
                        uint8_t* p = rgba + (size_t(py) * size_t(width) + size_t(px)) * 4;
                        p[0] = colour[0];
                        p[1] = colour[1];
                        p[2] = colour[2];
                        p[3] = 255;
                    }
                }
            }
        }
        x += 4 * scale;
    }
    return x;
}

}  // namespace tool
