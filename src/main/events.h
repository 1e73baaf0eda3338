// The main loop's event table: what each SDL 1.2 event does to the run.
#pragma once

#include <SDL.h>

// Where key and resize events go (the scene manager, once the run has one).
class EventTarget {
public:
    virtual ~EventTarget() = default;
    virtual void keyEvent(bool pressed, SDLKey key) = 0;
    virtual void resize(int width, int height) = 0;
};

// Handles one event: Escape key-down and SDL_QUIT set *quit; other key-downs, every
// key-up (Escape included) and resizes go to target (may be null: nothing to tell yet);
// activity, mouse and expose events are ignored; any other type logs
// "Unknown event type %i".
void handleEvent(const SDL_Event& event, EventTarget* target, bool* quit);

// SDL_GL_MULTISAMPLEBUFFERS for a sample count: 1 above zero, else 0 (negative too).
int multisampleBuffersFor(int samples);
