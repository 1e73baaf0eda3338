#include "scenes/scene_birthtext/scene_birthtext.h"

#include <FTGL/ftgl.h>
#include <GL/glu.h>

#include "log.h"
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
    return font->CharMap(ft_encoding_unicode);
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
    fontPrintf(font, "%s", word(0));
    for (int i = 1; i < 4; ++i) {
        glTranslatef(0.2f * w, -0.2f * h, 0);
        fontPrintf(font, "%s", word(i));
    }
    // Back to the left column.
    glTranslatef(0.2f * w * -3.0f, -0.2f * h, 0);
    fontPrintf(font, "%s", word(4));
    for (int i = 5; i < 8; ++i) {
        glTranslatef(0.2f * w, -0.2f * h, 0);
        fontPrintf(font, "%s", word(i));
    }
}
