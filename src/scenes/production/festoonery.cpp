// Festoonery: the birthday greeting. The greeting text scrolls alone, the picture and
// the waveform join it at beat 20, and from beat 52 the starfield and the fireworks fill
// the screen until the music ends.
#include "scenes/production_info.h"
#include "scenes/scene_birthtext/scene_birthtext.h"
#include "scenes/scene_fireworks/scene_fireworks.h"
#include "scenes/scene_imagedisplay/scene_imagedisplay.h"
#include "scenes/scene_oscilloscope/scene_oscilloscope.h"
#include "scenes/scene_starfield/scene_starfield.h"

const ProductionInfo& thisProduction() {
    static const ProductionInfo festoonery{
        "festoonery",
        "A real-time audiovisual birthday greeting",
        "Festoonery!",
        "data/common/music/Festoonery.xml",
        {
            {"ImageDisplay", createScene<ImageDisplay>, 20.0f, 52.0f},
            {"BirthText", createScene<BirthText>, 0.0f, 52.0f},
            {"Oscilloscope", createScene<Oscilloscope>, 20.0f, 52.0f},
            {"Starfield", createScene<Starfield>, 52.0f, 5000.0f},
            {"Fireworks", createScene<Fireworks>, 52.0f, 5000.0f},
        },
        {
            {"text", 0.0f, "text"},
            {"picture", 20.0f, "picture+text+waveform"},
            {"fireworks", 52.0f, "starfield+fireworks"},
        },
        /*hasWords=*/true,
        /*buildAllShaders=*/true,
    };
    return festoonery;
}
