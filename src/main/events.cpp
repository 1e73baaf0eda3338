#include "main/events.h"

#include "log.h"

void handleEvent(const SDL_Event& event, EventTarget* target, bool* quit) {
    switch (event.type) {
        case SDL_ACTIVEEVENT:
        case SDL_MOUSEMOTION:
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
        case SDL_VIDEOEXPOSE:
            break;
        case SDL_KEYDOWN:
            if (event.key.keysym.sym == SDLK_ESCAPE) *quit = true;
            else if (target) target->keyEvent(true, event.key.keysym.sym);
            break;
        case SDL_KEYUP:
            if (target) target->keyEvent(false, event.key.keysym.sym);
            break;
        case SDL_QUIT:
            *quit = true;
            break;
        case SDL_VIDEORESIZE:
            if (target) target->resize(event.resize.w, event.resize.h);
            break;
        default:
            logLine("Unknown event type %i\n", int(event.type));
            break;
    }
}

int multisampleBuffersFor(int samples) { return samples > 0 ? 1 : 0; }
