#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "main/cli.h"
#include "main/multisample.h"
#include "main/video_driver.h"
#include "scenes/production_info.h"
#include "support/paths.h"

namespace {

CommandLineRequest requestFor(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    return commandLineRequest(int(argv.size()), argv.data());
}

TEST(CommandLine, HelpAndVersionAreAnsweredAndEverythingElseRuns) {
    using R = CommandLineRequest;
    struct Case {
        std::vector<std::string> args;
        R request;
    } cases[] = {
        {{"festoonery"}, R::Run},
        {{"festoonery", "--dev"}, R::Run},
        {{"festoonery", "-dev", "help", "--helpme", "-V", "version"}, R::Run},
        {{"festoonery", "--help"}, R::Help},
        {{"festoonery", "-h"}, R::Help},
        {{"festoonery", "--version"}, R::Version},
        {{"festoonery", "--dev", "--version", "--help"}, R::Version},
        {{"festoonery", "x", "--help", "--version"}, R::Help},
    };
    for (const Case& c : cases) {
        std::string joined;
        for (const std::string& a : c.args) joined += a + " ";
        EXPECT_EQ(int(c.request), int(requestFor(c.args))) << joined;
    }
}

TEST(CommandLine, UsageNamesTheOptionsVariablesFilesAndWhereTheToolsAre) {
    std::string folder = testpaths::freshScratchDir("cli_usage");
    // An installed layout: the capture tool beside the program; festoonery-tool missing.
    testpaths::writeFile(folder + "/festoonery-capture", "#!/bin/sh\n");
    chmod((folder + "/festoonery-capture").c_str(), 0755);
    std::string usage = usageText(folder, thisProduction());
    for (const char* needle : {"Usage: festoonery [--dev]", "--dev", "--version", "FESTOONERY_UI",
                               "FESTOONERY_ANSWERS", "FESTOONERY_DATA", "SDL_AUDIODRIVER", "default.cfg",
                               "--words"})
        EXPECT_NE(std::string::npos, usage.find(needle)) << needle << " in\n" << usage;
    EXPECT_NE(std::string::npos, usage.find(folder + "/data.mvt\n")) << usage;
    EXPECT_NE(std::string::npos, usage.find(folder + "/festoonery-capture\n")) << usage;
    EXPECT_NE(std::string::npos, usage.find("festoonery-tool (not beside this program)")) << usage;
    EXPECT_EQ(0u, versionText(thisProduction()).rfind("festoonery ", 0));
    EXPECT_EQ(std::string::npos, versionText(thisProduction()).find("unknown")) << versionText(thisProduction());
}

// Another production's program speaks as itself: its name and description, no greeting
// words, no capture tool of the greeting's.
TEST(CommandLine, UsageOfAnotherProductionNamesItAndOffersNoWords) {
    const ProductionInfo waltz{"waltz", "A waltz of lights", "Waltz!", "data/waltz/waltz.xml", {}, {}};
    const std::string usage = usageText(testpaths::freshScratchDir("cli_usage_waltz"), waltz);
    for (const char* needle : {"Usage: waltz [--dev]", "waltz --capture [OPTIONS]", "waltz: A waltz of lights.\nIt plays",
                               "waltz --capture --help"})
        EXPECT_NE(std::string::npos, usage.find(needle)) << needle << " in\n" << usage;
    for (const char* absent : {"festoonery ", "greeting", "--words", "festoonery-capture "})
        EXPECT_EQ(std::string::npos, usage.find(absent)) << absent << " in\n" << usage;
    EXPECT_EQ("waltz " + versionText(thisProduction()).substr(11), versionText(waltz));
}

TEST(VideoDrivers, OnlyWindowSystemsUnlessTheViewerChoseADriver) {
    const SDL_version compat{1, 2, 60}, classic{1, 2, 15};
    struct Case {
        const char* current;
        const char* wayland;
        SDL_version linked;
        const char* expected;  // null: left as it is
    } cases[] = {
        {nullptr, nullptr, compat, "x11"},
        {"", "", compat, "x11"},
        {nullptr, "wayland-0", compat, "x11,wayland"},
        {nullptr, "wayland-0", classic, "x11"},
        {nullptr, nullptr, classic, "x11"},
        {"dummy", nullptr, compat, nullptr},
        {"aalib", "wayland-0", classic, nullptr},
    };
    for (const Case& c : cases) {
        const char* got = videoDriversFor(c.current, c.wayland, c.linked);
        std::string label = std::string(c.current ? c.current : "(unset)") + " / " +
                            (c.wayland ? c.wayland : "(unset)") + " / 1.2." + std::to_string(c.linked.patch);
        if (!c.expected)
            EXPECT_EQ(nullptr, got) << label;
        else
            EXPECT_STREQ(c.expected, got) << label;
    }
}

TEST(OpenGLScaling, OffUnderSdl12CompatUnlessFullscreenAtAnotherSizeOrTheViewerSetIt) {
    const SDL_version compat{1, 2, 60}, classic{1, 2, 15};
    struct Case {
        const char* current;
        bool fullscreen, atDesktopSize;
        SDL_version linked;
        const char* expected;  // null: left as it is
    } cases[] = {
        {nullptr, false, false, compat, "0"},    {"", false, true, compat, "0"},
        {nullptr, true, true, compat, "0"},      {nullptr, true, false, compat, nullptr},
        {"1", false, false, compat, nullptr},    {"1", true, true, compat, nullptr},
        {nullptr, false, false, classic, nullptr},
    };
    for (const Case& c : cases) {
        const char* got = openGLScalingFor(c.current, c.fullscreen, c.atDesktopSize, c.linked);
        std::string label = std::string(c.current ? c.current : "(unset)") + (c.fullscreen ? " fullscreen" : " window") +
                            (c.atDesktopSize ? " at the desktop's size" : "") + " / 1.2." +
                            std::to_string(c.linked.patch);
        if (!c.expected)
            EXPECT_EQ(nullptr, got) << label;
        else
            EXPECT_STREQ(c.expected, got) << label;
    }
}

TEST(Multisampling, FallsBackToTheLargestOfferedCountThenHalvesToNone) {
    struct Case {
        int tried, offered, next;
    } cases[] = {
        {16, 4, 4},  {8, 4, 4},   {16, 8, 8},   {16, 32, 8}, {16, -1, 8}, {8, -1, 4},
        {4, -1, 2},  {2, -1, 0},  {2, 4, 0},    {4, 3, 2},   {16, 1, 0},  {16, 0, 0},
        {12, -1, 8}, {0, -1, -1}, {-3, 4, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.next, nextSampleCount(c.tried, c.offered)) << c.tried << " tried, " << c.offered << " offered";
}

}  // namespace
