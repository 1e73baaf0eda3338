// The lanterns example's table: the engine's own scenes with parameters of its own.
// Dusk over a harbour (its own picture, its words in the mono font, an amber waveform),
// then warm stars that flash on the kick (its "kick glow" modulator), then gold
// fireworks over them; nothing letterboxed, so every scene fills the window.
#include "scenes/production_info.h"
#include "scenes/scene_birthtext/scene_birthtext.h"
#include "scenes/scene_fireworks/scene_fireworks.h"
#include "scenes/scene_imagedisplay/scene_imagedisplay.h"
#include "scenes/scene_oscilloscope/scene_oscilloscope.h"
#include "scenes/scene_starfield/scene_starfield.h"

namespace {

// The beats where the scenes change: the stars come up, then the fireworks.
constexpr float kStars = 24.0f;
constexpr float kFireworks = 40.0f;

Scene* dusk() { return new ImageDisplay({"data/lanterns/images/dusk.png", /*letterbox=*/false}); }

Scene* words() {
    BirthTextParams p;
    p.words = {"Light", "a", "lantern", "for", "every", "year", "well", "lived"};
    p.font = "data/common/fonts/courier_new.ttf";
    p.colour = {1.0f, 0.86f, 0.62f};
    return new BirthText(p);
}

Scene* waveform() {
    OscilloscopeParams p;
    p.colour = {1.0f, 0.62f, 0.18f};
    p.lineWidth = 1.5f;
    return new Oscilloscope(p);
}

Scene* stars() {
    StarfieldParams p;
    p.count = 6000;
    p.size = 0.7f;
    p.tint = {1.0f, 0.68f, 0.36f};
    p.glowModulator = "kick glow";
    p.letterbox = false;
    return new Starfield(p);
}

Scene* fireworks() {
    FireworksParams p;
    p.rockets = 5;
    p.sparksPerRocket = 60;
    p.childrenPerRocket = 150;
    p.sparkSize = 0.2f;
    p.rocketColour = {1.0f, 0.85f, 0.45f};
    p.burstTint = {1.0f, 0.7f, 0.35f};
    p.letterbox = false;
    return new Fireworks(p);
}

}  // namespace

const ProductionInfo& thisProduction() {
    static const ProductionInfo lanterns{
        "lanterns",
        "Lanterns over a harbour at dusk, on the engine's own scenes",
        "Lanterns",
        "data/lanterns/lanterns.xml",
        {
            {"ImageDisplay", dusk, 0.0f, kStars},
            {"Starfield", stars, kStars, 5000.0f},
            {"Fireworks", fireworks, kFireworks, 5000.0f},
            {"BirthText", words, 0.0f, kFireworks},
            {"Oscilloscope", waveform, 0.0f, kStars},
        },
        {
            {"dusk", 0.0f, "picture+text+waveform"},
            {"stars", kStars, "stars+text"},
            {"fireworks", kFireworks, "stars+fireworks"},
        },
        /*hasWords=*/false,
        /*buildAllShaders=*/false,
        /*commonAssets=*/{},
    };
    return lanterns;
}
