#include "scenes/scene_birthtext/scene_birthtext.h"

#include <FTGL/ftgl.h>
#include <GL/glu.h>

#include "log.h"
#include "util/data/data.h"
#include "util/text/word_bitmap.h"
#include "util/text/word_layout.h"
#include "scenes/greeting_words.h"
#include "util/music/music.h"
#include "util/shaderprogram/shaderprogram.h"
#include "util/util/util.h"


BirthText::BirthText(const BirthTextParams& params) : params_(params) {
    if (!params_.words.empty() && params_.words.size() != size_t(kGreetingWordCount))
        FATAL("The text takes %i words, not %zu", kGreetingWordCount, params_.words.size());
}

const char* BirthText::word(int index) const {
    if (params_.words.empty()) return greetingWord(index);
    return index >= 0 && index < kGreetingWordCount ? params_.words[size_t(index)].c_str() : "";
}

bool BirthText::init() {
    const char* path = params_.font.c_str();
    font = loadFont(path);
    if (!font->FaceSize(48, 72)) FATAL("Failed to set the size of font %s", path);
    watchFont(&font, path);
    bool mapped = font->CharMap(ft_encoding_unicode);
    if (params_.words.empty() && greetingWordsReplaced()) shapeWords();
    return mapped;
}

void BirthText::shapeWords() {
    const char* path = params_.font.c_str();
    std::vector<unsigned char> bytes;
    if (FILE* file = dataOpen(path, "rb")) {
        unsigned char chunk[65536];
        size_t got;
        while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
        fclose(file);
    }
    if (bytes.empty()) FATAL("Could not read the font %s", path);
    WordFonts fonts(bytes.data(), bytes.size(), kGreetingFontPixels);
    const Rgb& c = params_.colour;
    shaped_.assign(kGreetingWordCount, ShapedWord());
    for (int i = 0; i < kGreetingWordCount; ++i) {
        WordLayout layout;
        std::vector<std::string> undrawable;
        if (!fonts.layout(word(i), &layout, &undrawable)) {
            // The programs refuse such words before the first frame (undrawableWordsReason).
            logLine("The word \"%s\" cannot be drawn: %s\n", word(i),
                    undrawable.empty() ? "no text" : undrawable[0].c_str());
            continue;
        }
        std::string faces;
        for (size_t r = 0; r < layout.runs.size(); ++r) {
            std::string name = fonts.faceName(layout.runs[r].face);
            if (faces.find(name) == std::string::npos) faces += (faces.empty() ? "" : " and ") + name;
        }
        logLine("The word \"%s\" is drawn in %s\n", word(i), faces.c_str());
        WordBitmap bitmap = ::drawWord(fonts, layout, c.r, c.g, c.b);
        ShapedWord& shaped = shaped_[size_t(i)];
        shaped.width = bitmap.width, shaped.height = bitmap.height;
        shaped.left = bitmap.left, shaped.bottom = bitmap.bottom;
        if (bitmap.width == 0) continue;
        glGenTextures(1, &shaped.texture);
        glBindTexture(GL_TEXTURE_2D, shaped.texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, bitmap.width, bitmap.height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     bitmap.rgba.data());
        glBindTexture(GL_TEXTURE_2D, 0);
        CHECK_GL();
    }
}

void BirthText::drawWord(int index, float penX) const {
    if (shaped_.empty()) {
        fontPrintf(font, "%s", word(index));
        return;
    }
    const ShapedWord& w = shaped_[size_t(index)];
    if (!w.texture) return;
    WordFit fit = fitWordInFrame(penX, float(w.left), float(w.left + w.width), float(width));
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_TEXTURE_BIT | GL_CURRENT_BIT);
    glPushMatrix();
    glTranslatef(fit.shift, 0, 0);
    glScalef(fit.scale, fit.scale, 1);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);  // the image is premultiplied
    glBindTexture(GL_TEXTURE_2D, w.texture);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glColor4f(1, 1, 1, 1);
    const float x0 = float(w.left), y0 = float(w.bottom), x1 = x0 + float(w.width), y1 = y0 + float(w.height);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0), glVertex2f(x0, y0);
    glTexCoord2f(1, 0), glVertex2f(x1, y0);
    glTexCoord2f(1, 1), glVertex2f(x1, y1);
    glTexCoord2f(0, 1), glVertex2f(x0, y1);
    glEnd();
    glBindTexture(GL_TEXTURE_2D, 0);
    glPopMatrix();
    glPopAttrib();
}

void BirthText::resize(int w, int h) {
    Scene::resize(w, h);
    glViewport(0, 0, w, h);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(0, w, 0, h);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void BirthText::draw() {
    const Rgb& c = params_.colour;
    glColor4f(c.r, c.g, c.b, 1);
    ShaderProgram::unbind();
    glDisable(GL_DEPTH_TEST);
    glColor4f(c.r, c.g, c.b, 1);

    const float w = static_cast<float>(width);
    const float h = static_cast<float>(height);
    glTranslatef(0, music->beat() * h * 0.033333335f, 0);
    drawWord(0, 0);
    for (int i = 1; i < 4; ++i) {
        glTranslatef(0.2f * w, -0.2f * h, 0);
        drawWord(i, 0.2f * w * float(i));
    }
    // Back to the left column.
    glTranslatef(0.2f * w * -3.0f, -0.2f * h, 0);
    drawWord(4, 0);
    for (int i = 5; i < 8; ++i) {
        glTranslatef(0.2f * w, -0.2f * h, 0);
        drawWord(i, 0.2f * w * float(i - 4));
    }
}
