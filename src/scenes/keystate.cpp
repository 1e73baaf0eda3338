// The key table of the scene manager's KeyState.
#include <SDL_keysym.h>

#include <cstdlib>

#include "log.h"
#include "scenes/scenemanager.h"

int keyStateEntries(int key, int entries[2]) {
    if (key == SDLK_RALT || key == SDLK_LALT) {
        entries[0] = 0;
        entries[1] = 27;
        return 2;
    }
    if (key >= SDLK_1 && key <= SDLK_9) {
        entries[0] = 5 + (key - SDLK_1);
        entries[1] = 33 + (key - SDLK_1);
        return 2;
    }
    if (key >= SDLK_F1 && key <= SDLK_F12) {
        entries[0] = 15 + (key - SDLK_F1);
        return 1;
    }
    if (key >= SDLK_a && key <= SDLK_z) {
        entries[0] = 43 + (key - SDLK_a);
        return 1;
    }
    int entry;
    switch (key) {
        case SDLK_LEFT: entry = 1; break;
        case SDLK_RIGHT: entry = 2; break;
        case SDLK_UP: entry = 3; break;
        case SDLK_DOWN: entry = 4; break;
        case SDLK_RCTRL:
        case SDLK_LCTRL: entry = 28; break;
        case SDLK_RSHIFT:
        case SDLK_LSHIFT: entry = 29; break;
        case SDLK_TAB: entry = 30; break;
        case SDLK_SPACE: entry = 31; break;
        case SDLK_RETURN: entry = 32; break;
        case SDLK_0: entry = 42; break;
        case SDLK_KP_PLUS: entry = 69; break;
        case SDLK_KP_MINUS: entry = 70; break;
        case SDLK_PRINT: entry = 71; break;
        default: return 0;
    }
    entries[0] = entry;
    return 1;
}

void applyKeyEvent(KeyState* state, bool pressed, int key) {
    if (key == SDLK_ESCAPE) exit(0);
    int entries[2];
    int count = keyStateEntries(key, entries);
    for (int i = 0; i < count; ++i) state->held[entries[i]] = pressed ? 1 : 0;
    if (count == 0 && key != 0 && pressed) logLine("New key detected: %i\n", key);
}
