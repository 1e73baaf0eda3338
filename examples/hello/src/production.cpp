// The example production's table: one scene over the whole song, two sections (keys 1
// and 2 in development mode), and its sync description.
#include "scene_pulse.h"
#include "scenes/production_info.h"

const ProductionInfo& thisProduction() {
    static const ProductionInfo hello{
        "hello",
        "A pulse of light on the kick drum",
        "Hello, Festoonery!",
        "data/hello/hello.xml",
        {
            {"Pulse", createScene<Pulse>, 0.0f, 5000.0f},
        },
        {
            {"intro", 0.0f, "pulse"},
            {"double kick", 16.0f, "pulse"},
        },
    };
    return hello;
}
