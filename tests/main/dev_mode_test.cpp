// Development mode's pure parts: what each key asks for, the loop range, the sections
// and the overlay's lines.
#include "main/dev_mode.h"

#include <gtest/gtest.h>

TEST(DevKeys, EachKeyAsksForItsCommand) {
    struct Case {
        SDLKey key;
        DevCommand::Kind kind;
        float beat;  // Seek only
    } cases[] = {
        {SDLK_SPACE, DevCommand::TogglePause, 0}, {SDLK_LEFT, DevCommand::Seek, 26},
        {SDLK_RIGHT, DevCommand::Seek, 34},       {SDLK_PAGEUP, DevCommand::Seek, 14},
        {SDLK_PAGEDOWN, DevCommand::Seek, 46},    {SDLK_HOME, DevCommand::Seek, 0},
        {SDLK_1, DevCommand::Seek, 0},            {SDLK_2, DevCommand::Seek, 20},
        {SDLK_3, DevCommand::Seek, 52},           {SDLK_l, DevCommand::ToggleLoop, 0},
        {SDLK_r, DevCommand::Reload, 0},          {SDLK_i, DevCommand::None, 0},
        {SDLK_4, DevCommand::None, 0},            {SDLK_ESCAPE, DevCommand::None, 0},
    };
    for (const Case& c : cases) {
        DevCommand got = devCommandForKey(c.key, 30.0f);
        EXPECT_EQ(c.kind, got.kind) << "key " << c.key;
        if (c.kind == DevCommand::Seek) EXPECT_FLOAT_EQ(c.beat, got.beat) << "key " << c.key;
    }
}

TEST(DevLoop, TheEightBarRangeHoldingTheBeat) {
    struct Case {
        float beat, from, to;
    } cases[] = {{0, 0, 32}, {31.99f, 0, 32}, {32, 32, 64}, {70.5f, 64, 96}, {-3, 0, 32}};
    for (const Case& c : cases) {
        float from = -1, to = -1;
        loopRangeAt(c.beat, &from, &to);
        EXPECT_EQ(c.from, from) << "beat " << c.beat;
        EXPECT_EQ(c.to, to) << "beat " << c.beat;
    }
}

TEST(DevOverlay, ShowsBarSectionPauseAndLoop) {
    EXPECT_EQ((std::vector<std::string>{"bar: 1", "section: 1 text", "playing", "loop: off"}),
              devOverlayNotes(0.0f, false, false, 0, 0));
    EXPECT_EQ((std::vector<std::string>{"bar: 6", "section: 2 picture", "paused", "loop: off"}),
              devOverlayNotes(20.0f, true, false, 0, 0));
    EXPECT_EQ((std::vector<std::string>{"bar: 14", "section: 3 fireworks", "playing", "loop: 32-64"}),
              devOverlayNotes(52.0f, false, true, 32, 64));
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
