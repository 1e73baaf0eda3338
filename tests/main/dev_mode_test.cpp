// Development mode's pure parts: what each key asks for, the loop range, the sections
// and the overlay's lines.
#include "main/dev_mode.h"

#include <gtest/gtest.h>

// A production of two sections in 3/4 time: the keys follow its table and its bar.
const ProductionInfo kWaltz{"waltz", "A waltz", "Waltz", "waltz.xml", {}, {{"intro", 0.0f, "intro"}, {"dance", 12.0f, "dance"}}};

TEST(DevKeys, BarsAndSectionsComeFromTheProductionAndItsTimeSignature) {
    struct Case {
        SDLKey key;
        float barBeats;
        DevCommand::Kind kind;
        float beat;  // Seek only
    } cases[] = {
        {SDLK_LEFT, 3, DevCommand::Seek, 27},      {SDLK_RIGHT, 3, DevCommand::Seek, 33},
        {SDLK_LEFT, 4, DevCommand::Seek, 26},      {SDLK_RIGHT, 1.5f, DevCommand::Seek, 31.5f},
        {SDLK_PAGEUP, 3, DevCommand::Seek, 14},    {SDLK_HOME, 3, DevCommand::Seek, 0},
        {SDLK_1, 3, DevCommand::Seek, 0},          {SDLK_2, 3, DevCommand::Seek, 12},
        // No third section: the digit is an ordinary key.
        {SDLK_3, 3, DevCommand::None, 0},          {SDLK_SPACE, 3, DevCommand::TogglePause, 0},
        {SDLK_l, 3, DevCommand::ToggleLoop, 0},    {SDLK_r, 3, DevCommand::Reload, 0},
        {SDLK_i, 3, DevCommand::None, 0},
    };
    for (const Case& c : cases) {
        DevCommand got = devCommandForKey(c.key, 30.0f, c.barBeats, kWaltz);
        EXPECT_EQ(c.kind, got.kind) << "key " << c.key;
        if (c.kind == DevCommand::Seek) {
            EXPECT_FLOAT_EQ(c.beat, got.beat) << "key " << c.key;
        }
    }
    // This production's own sections: each digit key seeks to its section's start.
    const ProductionInfo& production = thisProduction();
    for (size_t i = 0; i < production.sections.size() && i < 9; ++i) {
        DevCommand got = devCommandForKey(SDLKey(SDLK_1 + int(i)), 30.0f, 4.0f, production);
        EXPECT_EQ(DevCommand::Seek, got.kind) << production.sections[i].name;
        EXPECT_EQ(production.sections[i].startBeat, got.beat) << production.sections[i].name;
    }
}

TEST(DevLoop, TheEightBarRangeHoldingTheBeat) {
    struct Case {
        float beat, barBeats, from, to;
    } cases[] = {{0, 4, 0, 32}, {31.99f, 4, 0, 32}, {32, 4, 32, 64}, {70.5f, 4, 64, 96},
                 {-3, 4, 0, 32}, {30, 3, 24, 48},   {23.9f, 3, 0, 24}};
    for (const Case& c : cases) {
        float from = -1, to = -1;
        loopRangeAt(c.beat, c.barBeats, &from, &to);
        EXPECT_EQ(c.from, from) << "beat " << c.beat;
        EXPECT_EQ(c.to, to) << "beat " << c.beat;
    }
}

TEST(DevOverlay, ShowsBarSectionPauseLoopAndTheModulators) {
    std::vector<NamedValue> none;
    EXPECT_EQ((std::vector<std::string>{"bar: 1", "section: 1 intro", "playing", "loop: off"}),
              devOverlayNotes(kWaltz, 0.0f, 3.0f, false, false, 0, 0, none));
    EXPECT_EQ((std::vector<std::string>{"bar: 5", "section: 2 dance", "paused", "loop: 0-24", "kick glow: 0.52",
                                        "pad wobble: 0.00"}),
              devOverlayNotes(kWaltz, 12.0f, 3.0f, true, true, 0, 24,
                              {{"kick glow", "kick_glow", 0.5249f}, {"pad wobble", "pad_wobble", 0.0f}}));
}

TEST(DevOverlay, AFaultShowsItsPairAndTheHeadOfItsLogWithTheRestCounted) {
    // Ten lines with a blank one and a tab among them, then a second fault without a log.
    std::string log = "0:1(1): error: first\n\n\t0:2(1): error: tabbed\r\n";
    for (int i = 3; i <= 10; ++i) log += "0:" + std::to_string(i) + "(1): error: more\n";
    std::vector<std::string> notes = devFaultNotes({{"pulse.vert + pulse.frag", "fragment shader compile failed", log, true},
                                                    {"a.vert + a.frag", "link failed", "", false}});
    ASSERT_EQ(1 + kFaultLogLines + 1 + 1, notes.size());
    EXPECT_EQ("Shader pulse.vert + pulse.frag: fragment shader compile failed (drawing nothing)", notes[0]);
    EXPECT_EQ("  0:1(1): error: first", notes[1]);
    EXPECT_EQ("   0:2(1): error: tabbed ", notes[2]);
    EXPECT_EQ("  0:8(1): error: more", notes[kFaultLogLines]);
    EXPECT_EQ("  (2 more lines in the log)", notes[kFaultLogLines + 1]);
    EXPECT_EQ("Shader a.vert + a.frag: link failed (drawing its previous build)", notes.back());
    EXPECT_TRUE(devFaultNotes({}).empty());
}

TEST(DevArguments, OnlyDevAnywhereAsksForIt) {
    char prog[] = "festoonery", dev[] = "--dev", other[] = "--develop", x[] = "x";
    char* withDev[] = {prog, x, dev};
    char* without[] = {prog, other, x};
    char* devAsProgramName[] = {dev};
    EXPECT_TRUE(devModeRequested(3, withDev));
    EXPECT_FALSE(devModeRequested(3, without));
    EXPECT_FALSE(devModeRequested(1, devAsProgramName));
}

TEST(DevAssets, ChangedFilesAreReloadedByTheirFolder) {
    struct Case {
        const char* path;
        AssetKind kind;
    } cases[] = {
        {"data/common/shaders/billboard.frag", AssetKind::Shader},
        {"data/common/music/Festoonery.xml", AssetKind::Sync},
        {"data/common/music/Festoonery.mid", AssetKind::Sync},
        {"data/common/images/cokie_the_clown.jpg", AssetKind::ImageOrFont},
        {"data/common/fonts/courier_new.ttf", AssetKind::ImageOrFont},
        {"data/common/shaders/.billboard.frag.swp", AssetKind::None},
        {"data/common/shaders/billboard.frag~", AssetKind::None},
        {"data/common/images/x.png.swp", AssetKind::None},
        {"data/common/other/readme", AssetKind::None},
    };
    for (const Case& c : cases) EXPECT_EQ(int(c.kind), int(assetKindOf(c.path))) << c.path;
}
