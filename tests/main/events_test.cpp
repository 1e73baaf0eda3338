#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "main/events.h"

namespace {

class RecordingTarget : public EventTarget {
public:
    void keyEvent(bool pressed, SDLKey key) override {
        calls.push_back(std::string(pressed ? "down " : "up ") + std::to_string(int(key)));
    }
    void resize(int width, int height) override {
        calls.push_back("resize " + std::to_string(width) + "x" + std::to_string(height));
    }
    std::vector<std::string> calls;
};

SDL_Event keyEvent(Uint8 type, SDLKey key) {
    SDL_Event e{};
    e.type = type;
    e.key.type = type;
    e.key.keysym.sym = key;
    return e;
}

SDL_Event event(Uint8 type) {
    SDL_Event e{};
    e.type = type;
    return e;
}

SDL_Event resizeEvent(int w, int h) {
    SDL_Event e{};
    e.type = SDL_VIDEORESIZE;
    e.resize.w = w;
    e.resize.h = h;
    return e;
}

TEST(EventTable, EachTypeDoesWhatTheTableSays) {
    struct Case {
        const char* name;
        SDL_Event event;
        bool quit;
        std::vector<std::string> calls;
        const char* log;  // "" for none
    } cases[] = {
        {"active", event(SDL_ACTIVEEVENT), false, {}, ""},
        {"mouse motion", event(SDL_MOUSEMOTION), false, {}, ""},
        {"mouse down", event(SDL_MOUSEBUTTONDOWN), false, {}, ""},
        {"mouse up", event(SDL_MOUSEBUTTONUP), false, {}, ""},
        {"expose", event(SDL_VIDEOEXPOSE), false, {}, ""},
        {"escape down", keyEvent(SDL_KEYDOWN, SDLK_ESCAPE), true, {}, ""},
        {"i down", keyEvent(SDL_KEYDOWN, SDLK_i), false, {"down 105"}, ""},
        {"i up", keyEvent(SDL_KEYUP, SDLK_i), false, {"up 105"}, ""},
        {"escape up", keyEvent(SDL_KEYUP, SDLK_ESCAPE), false, {"up 27"}, ""},
        {"quit", event(SDL_QUIT), true, {}, ""},
        {"resize", resizeEvent(640, 360), false, {"resize 640x360"}, ""},
        {"no event", event(SDL_NOEVENT), false, {}, " Unknown event type 0\n"},
        {"joystick axis", event(SDL_JOYAXISMOTION), false, {}, " Unknown event type 7\n"},
        {"joystick button up", event(SDL_JOYBUTTONUP), false, {}, " Unknown event type 11\n"},
        {"window manager", event(SDL_SYSWMEVENT), false, {}, " Unknown event type 13\n"},
        {"event 15", event(15), false, {}, " Unknown event type 15\n"},
        {"user event", event(SDL_USEREVENT), false, {}, " Unknown event type 24\n"},
    };
    for (const Case& c : cases) {
        RecordingTarget target;
        bool quit = false;
        testing::internal::CaptureStdout();
        handleEvent(c.event, &target, &quit);
        std::string log = testing::internal::GetCapturedStdout();
        EXPECT_EQ(c.quit, quit) << c.name;
        EXPECT_EQ(c.calls, target.calls) << c.name;
        if (*c.log) {
            EXPECT_NE(std::string::npos, log.find(c.log)) << c.name << ": " << log;
        } else {
            EXPECT_EQ("", log) << c.name;
        }
    }
}

TEST(EventTable, QuitStaysSetAndWorksWithoutATarget) {
    bool quit = true;
    handleEvent(keyEvent(SDL_KEYDOWN, SDLK_a), nullptr, &quit);
    handleEvent(resizeEvent(1, 1), nullptr, &quit);
    EXPECT_TRUE(quit) << "nothing clears the quit flag";
    quit = false;
    handleEvent(keyEvent(SDL_KEYDOWN, SDLK_ESCAPE), nullptr, &quit);
    EXPECT_TRUE(quit);
}

TEST(GLAttributes, MultisampleBuffersOnlyForPositiveSampleCounts) {
    struct Case {
        int samples, buffers;
    } cases[] = {{0, 0}, {-1, 0}, {-2147483647 - 1, 0}, {1, 1}, {4, 1}, {16, 1}};
    for (const Case& c : cases) EXPECT_EQ(c.buffers, multisampleBuffersFor(c.samples)) << c.samples;
}

}  // namespace
