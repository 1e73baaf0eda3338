// What a production's parameters change in the engine's scenes, without OpenGL: the
// counts the fireworks and the starfield are built with, the bursts' tint, the text's
// words, the files a production's archive packs, and the fatal parameters.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "scenes/greeting_words.h"
#include "scenes/production_assets.h"
#include "scenes/production_info.h"
#include "scenes/scene_birthtext/scene_birthtext.h"
#include "scenes/scene_fireworks/scene_fireworks.h"
#include "scenes/scene_imagedisplay/scene_imagedisplay.h"
#include "scenes/scene_starfield/scene_starfield.h"
#include "util/util/random.h"

namespace {

bool holds(const std::vector<std::string>& files, const std::string& file) {
    return std::find(files.begin(), files.end(), file) != files.end();
}

TEST(FireworksParams, TheCountsShapeEveryRocketsFamily) {
    FireworksParams p;
    p.rockets = 2;
    p.sparksPerRocket = 7;
    p.childrenPerRocket = 5;
    p.sparkSize = 0.4f;
    Fireworks scene(p);
    seedRandom(3);
    scene.createRockets();
    ASSERT_EQ(2u, scene.rockets.size());
    for (const FireworksRocket* rocket : scene.rockets) {
        EXPECT_EQ(7u, rocket->sparks.size());
        ASSERT_EQ(5u, rocket->children.size());
        EXPECT_EQ(7u, rocket->children[4]->sparks.size());
        EXPECT_EQ(0.4f, rocket->children[4]->size);
        EXPECT_EQ(7 + 5 * 7, rocket->sparkCount());
    }
}

TEST(FireworksParams, TheBurstTintScalesTheDrawnColourAndLeavesTheDrawsAlone) {
    FireworksParams tinted;
    tinted.rockets = 1;
    tinted.childrenPerRocket = 2;
    tinted.rocketColour = {0.1f, 0.2f, 0.3f};
    tinted.burstTint = {0.5f, 1.0f, 2.0f};
    FireworksParams plain = tinted;
    plain.burstTint = {1.0f, 1.0f, 1.0f};
    Fireworks a(plain), b(tinted);
    seedRandom(11);
    a.createRockets();
    seedRandom(11);
    b.createRockets();
    EXPECT_EQ(0.2f, b.rockets[0]->colour[1]) << "the rocket's own colour";
    // Past the rocket's lifetime (at most 3 beats): it bursts into its children.
    seedRandom(12);
    a.updateRockets([] { return 4.0f; });
    seedRandom(12);
    b.updateRockets([] { return 4.0f; });
    const FireworksRocket& childA = *a.rockets[0]->children[1];
    const FireworksRocket& childB = *b.rockets[0]->children[1];
    ASSERT_TRUE(childA.flying);
    EXPECT_FLOAT_EQ(childA.colour[0] * 0.5f, childB.colour[0]);
    EXPECT_FLOAT_EQ(childA.colour[1], childB.colour[1]);
    EXPECT_FLOAT_EQ(childA.colour[2] * 2.0f, childB.colour[2]);
    EXPECT_EQ(childA.speed, childB.speed) << "the same draws";
    EXPECT_EQ(childA.direction.x, childB.direction.x);
}

TEST(StarfieldParams, TheStateHoldsTheStarsAsked) {
    StarfieldParams p;
    p.count = 12;
    Starfield scene(p);
    std::vector<unsigned char> state;
    scene.saveState(&state);
    EXPECT_EQ(12 * sizeof(Star), state.size());
}

TEST(BirthTextParams, OwnWordsStayWhileTheDefaultFollowsTheReplacedWords) {
    const std::vector<std::string> own = {"a", "b", "c", "d", "e", "f", "g", "h"};
    BirthTextParams p;
    p.words = own;
    BirthText withOwn(p), greeting;
    ASSERT_TRUE(setGreetingWords({"1", "2", "3", "4", "5", "6", "7", "8"}));
    EXPECT_STREQ("4", greeting.word(3));
    EXPECT_STREQ("d", withOwn.word(3));
    EXPECT_STREQ("", withOwn.word(8));
    ASSERT_TRUE(setGreetingWords({}));
    EXPECT_STREQ(kGreetingWords[3], greeting.word(3));
}

// The archive of a production packs the picture and the font its table names, not the
// greeting's; a file of its own folder is packed with that folder, not from data/common.
TEST(SceneParams, AProductionsArchivePacksTheFilesItsParamsName) {
    ProductionInfo production{"test", "", "", "data/common/music/Festoonery.xml", {}, {}};
    production.timeline = {
        {"Picture", [] { return new ImageDisplay({"data/common/images/own_particle_256.png"}); }, 0, 10},
        {"Own picture", [] { return new ImageDisplay({"data/test/sky.png"}); }, 0, 10},
        {"Text", [] {
             BirthTextParams p;
             p.font = "data/common/fonts/courier_new.ttf";
             return new BirthText(p);
         }, 0, 10},
    };
    std::vector<std::string> files = productionCommonAssets(production);
    EXPECT_TRUE(holds(files, "data/common/images/own_particle_256.png"));
    EXPECT_FALSE(holds(files, "data/common/images/cokie_the_clown.jpg"));
    EXPECT_FALSE(holds(files, "data/common/fonts/BaroqueScript.ttf"));
    EXPECT_FALSE(holds(files, "data/test/sky.png"));
}

using SceneParamsDeathTest = testing::Test;

TEST_F(SceneParamsDeathTest, CountsTheScenesCannotBuildAreFatal) {
    StarfieldParams stars;
    stars.count = 0;
    EXPECT_EXIT(Starfield{stars}, testing::ExitedWithCode(1),
                "\\[box\\] Error in file src/scenes/scene_starfield/scene_starfield.cpp:[0-9]+ \\| .*"
                "A starfield needs at least one star, not 0");
    FireworksParams noRockets;
    noRockets.rockets = 0;
    EXPECT_EXIT(Fireworks{noRockets}, testing::ExitedWithCode(1),
                "\\[box\\] Error in file src/scenes/scene_fireworks/scene_fireworks.cpp:[0-9]+ \\| .*"
                "Fireworks of 0 rockets with 100 sparks and 400 children each");
    FireworksParams negative;
    negative.childrenPerRocket = -1;
    EXPECT_EXIT(Fireworks{negative}, testing::ExitedWithCode(1), "\\[box\\] .*and -1 children each");
    BirthTextParams words;
    words.words = {"only", "three", "words"};
    EXPECT_EXIT(BirthText{words}, testing::ExitedWithCode(1),
                "\\[box\\] Error in file src/scenes/scene_birthtext/scene_birthtext.cpp:[0-9]+ \\| .*"
                "The text takes 8 words, not 3");
}

}  // namespace
