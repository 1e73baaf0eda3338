#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "main/settings.h"
#include "main/setup_dialog.h"
#include "platform/msgbox.h"
#include "support/paths.h"

using namespace platform::dlg;

namespace {

// Fake full-screen mode lists, largest first as SDL gives them.
SDL_Rect g_modeRects[] = {{0, 0, 1920, 1080}, {0, 0, 1280, 720}, {0, 0, 1024, 768}, {0, 0, 800, 600}};
SDL_Rect* g_modes[] = {&g_modeRects[0], &g_modeRects[1], &g_modeRects[2], &g_modeRects[3], nullptr};
SDL_Rect* g_noEntries[] = {nullptr};
Uint32 g_askedFlags = 0;
bool g_askedWithFormat = false;

SDL_Rect** realList(SDL_PixelFormat* format, Uint32 flags) {
    g_askedFlags = flags;
    g_askedWithFormat = format != nullptr;
    return g_modes;
}
SDL_Rect** noModes(SDL_PixelFormat*, Uint32) { return nullptr; }
SDL_Rect** allModes(SDL_PixelFormat*, Uint32) { return reinterpret_cast<SDL_Rect**>(-1); }
SDL_Rect** emptyList(SDL_PixelFormat*, Uint32) { return g_noEntries; }

std::vector<std::string> entries(Dialog& d, int id) { return d.control(uint16_t(id))->entries; }
std::string selected(Dialog& d, int id) {
    Window* c = d.control(uint16_t(id));
    return c->selection >= 0 ? c->entries[size_t(c->selection)] : "(none)";
}
bool ticked(Dialog& d, int id) { return d.control(uint16_t(id))->check == BST_CHECKED; }

class SetupDialog : public testing::Test {
protected:
    void SetUp() override {
        DisplaySettings::resetToDefaults();
        setListModesFunction(realList);
    }
    void TearDown() override { setListModesFunction(nullptr); }

    // The real template and procedure on the headless model, initialised; the log of
    // the initialisation in log_.
    std::unique_ptr<Dialog> open(INT_PTR* initResult = nullptr) {
        DialogTemplateBuilder b;
        buildSetupDialogTemplate(&b);
        auto d = Dialog::create(b.data(), b.size(), setupDialogProc, 0);
        EXPECT_NE(nullptr, d);
        testing::internal::CaptureStdout();
        INT_PTR result = d->initialise();
        log_ = testing::internal::GetCapturedStdout();
        if (initResult) *initResult = result;
        return d;
    }
    std::string log_;
};

TEST_F(SetupDialog, AsksSdlForFullScreenHardwareModes) {
    open();
    EXPECT_EQ(0x80000001u, g_askedFlags);
    EXPECT_FALSE(g_askedWithFormat);
}

TEST_F(SetupDialog, NoModesLeavesEverythingUntouched) {
    setListModesFunction(noModes);
    DisplaySettings::width = 800;
    DisplaySettings::samples = 3;  // would log the samples line if the lists were filled
    INT_PTR result = 0;
    auto d = open(&result);
    EXPECT_EQ(-1, result);
    EXPECT_NE(std::string::npos, log_.find(" No modes available!\n")) << log_;
    EXPECT_EQ(std::string::npos, log_.find("Unrecognzed")) << log_;
    EXPECT_TRUE(entries(*d, kResolutionList).empty());
    EXPECT_TRUE(entries(*d, kSamplesList).empty());
    EXPECT_FALSE(ticked(*d, kFullscreenBox));
    EXPECT_FALSE(ticked(*d, kVsyncBox));
    EXPECT_EQ(800, DisplaySettings::width);
    EXPECT_EQ(3, DisplaySettings::samples);
    EXPECT_EQ(INT_MIN, DisplaySettings::flags);
    // Confirming keeps the settings as loaded.
    d->pressEnter();
    EXPECT_EQ(1, d->result());
    EXPECT_EQ(800, DisplaySettings::width);
}

TEST_F(SetupDialog, AllResolutionsOffersThirteenSizesAndSelectsTheFirst) {
    setListModesFunction(allModes);
    DisplaySettings::width = 1024;
    DisplaySettings::height = 768;  // offered, yet the first entry is selected
    auto d = open();
    EXPECT_NE(std::string::npos,
              log_.find(" SDL reports \"all\" resolutions available. What fresh hell is this?\n"))
        << log_;
    const std::vector<std::string> expected = {"640x480",  "720x480",  "720x576",   "800x600",  "1024x768",
                                               "1152x864", "1280x768", "1280x800",  "1280x960", "1280x1024",
                                               "1360x768", "1440x900", "1600x1200"};
    EXPECT_EQ(expected, entries(*d, kResolutionList));
    EXPECT_EQ("640x480", selected(*d, kResolutionList));
    EXPECT_EQ(640, DisplaySettings::width);
    EXPECT_EQ(480, DisplaySettings::height);
}

TEST_F(SetupDialog, RealListRunsSmallestFirstAndSelectsByTheStoredSize) {
    struct Case {
        int width, height;
        const char* expectedSelection;
    } cases[] = {
        {1280, 720, "1280x720"},   {800, 600, "800x600"},    {1920, 1080, "1920x1080"},
        {-1, -1, "1920x1080"},     {-1, 720, "1920x1080"},   {1280, -1, "1920x1080"},
        {1024, 600, "800x600"},    {640, 480, "800x600"},    {0, 0, "800x600"},
    };
    for (const Case& c : cases) {
        DisplaySettings::resetToDefaults();
        DisplaySettings::width = c.width;
        DisplaySettings::height = c.height;
        auto d = open();
        EXPECT_EQ((std::vector<std::string>{"800x600", "1024x768", "1280x720", "1920x1080"}),
                  entries(*d, kResolutionList));
        EXPECT_EQ(c.expectedSelection, selected(*d, kResolutionList)) << c.width << "x" << c.height;
        std::string shown = std::to_string(DisplaySettings::width) + "x" + std::to_string(DisplaySettings::height);
        EXPECT_EQ(c.expectedSelection, shown) << "settings follow the selection for " << c.width << "x" << c.height;
    }
}

TEST_F(SetupDialog, EmptyModeListSelectsNothingAndKeepsTheSize) {
    setListModesFunction(emptyList);
    DisplaySettings::width = 1234;
    DisplaySettings::height = 567;
    auto d = open();
    EXPECT_TRUE(entries(*d, kResolutionList).empty());
    EXPECT_EQ("(none)", selected(*d, kResolutionList));
    EXPECT_EQ(1234, DisplaySettings::width);
    EXPECT_EQ(567, DisplaySettings::height);
}

TEST_F(SetupDialog, SamplesMapToTheirEntries) {
    struct Case {
        int samples;
        const char* entry;
        int samplesAfter;
        bool complains;
    } cases[] = {
        {0, "None", 0, false}, {2, "2x", 2, false},  {4, "4x", 4, false},   {8, "8x", 8, false},
        {16, "16x", 16, false}, {3, "None", 0, true}, {-4, "None", 0, true}, {32, "None", 0, true},
    };
    for (const Case& c : cases) {
        DisplaySettings::resetToDefaults();
        DisplaySettings::samples = c.samples;
        auto d = open();
        EXPECT_EQ((std::vector<std::string>{"None", "2x", "4x", "8x", "16x"}), entries(*d, kSamplesList));
        EXPECT_EQ(c.entry, selected(*d, kSamplesList)) << "samples " << c.samples;
        EXPECT_EQ(c.samplesAfter, DisplaySettings::samples) << "samples " << c.samples;
        bool complained =
            log_.find(" Unrecognzed number of default samples, going for zero\n") != std::string::npos;
        EXPECT_EQ(c.complains, complained) << "samples " << c.samples << ": " << log_;
    }
}

TEST_F(SetupDialog, CheckBoxesAndTheFlagsRule) {
    struct Case {
        int32_t flags, vsync;
        bool fullscreenTicked, vsyncTicked;
        int32_t flagsAfterInit, vsyncAfterInit;
        int32_t flagsAfterClick;  // after clicking "&Fullscreen" once
    } cases[] = {
        {INT_MIN, 1, true, true, INT_MIN, 1, 0},
        {0, 0, false, false, 0, 0, INT_MIN},
        {int32_t(0x80000010u), 1, true, true, int32_t(0x80000010u), 1, 0},  // other bits stay while ticked
        {0x10, 7, true, true, int32_t(0x80000010u), 1, 0},                   // any bit ticks the box
        {-1, -1, true, true, -1, 1, 0},
    };
    for (const Case& c : cases) {
        DisplaySettings::resetToDefaults();
        DisplaySettings::flags = c.flags;
        DisplaySettings::vsync = c.vsync;
        auto d = open();
        SCOPED_TRACE(testing::Message() << "flags " << c.flags << ", vsync " << c.vsync);
        EXPECT_EQ(c.fullscreenTicked, ticked(*d, kFullscreenBox));
        EXPECT_EQ(c.vsyncTicked, ticked(*d, kVsyncBox));
        EXPECT_EQ(c.flagsAfterInit, DisplaySettings::flags);
        EXPECT_EQ(c.vsyncAfterInit, DisplaySettings::vsync);
        d->clickButton(kFullscreenBox);
        EXPECT_EQ(c.flagsAfterClick, DisplaySettings::flags);
        d->clickButton(kVsyncBox);
        EXPECT_EQ(c.vsyncTicked ? 0 : 1, DisplaySettings::vsync);
    }
}

TEST_F(SetupDialog, ChoosingEntriesUpdatesTheSettings) {
    auto d = open();
    struct Step {
        int id, index;
        int width, height, samples;
    } steps[] = {
        {kResolutionList, 0, 800, 600, 4},  {kResolutionList, 2, 1280, 720, 4},
        {kSamplesList, 4, 1280, 720, 16},   {kSamplesList, 0, 1280, 720, 0},
        {kSamplesList, 1, 1280, 720, 2},
    };
    for (const Step& s : steps) {
        d->chooseEntry(uint16_t(s.id), s.index);
        EXPECT_EQ(s.width, DisplaySettings::width) << "id " << s.id << " entry " << s.index;
        EXPECT_EQ(s.height, DisplaySettings::height) << "id " << s.id << " entry " << s.index;
        EXPECT_EQ(s.samples, DisplaySettings::samples) << "id " << s.id << " entry " << s.index;
    }
}

TEST_F(SetupDialog, ListsReactOnlyToSelEndOk) {
    auto d = open();
    d->control(kResolutionList)->selection = 0;
    d->control(kSamplesList)->selection = 4;
    for (unsigned notification : {0u, 1u, 8u, 10u}) {
        for (int id : {kResolutionList, kSamplesList}) {
            SendMessage(d->hwnd(), WM_COMMAND, makeWParam(unsigned(id), notification), 0);
        }
        EXPECT_EQ(1920, DisplaySettings::width) << "notification " << notification;
        EXPECT_EQ(4, DisplaySettings::samples) << "notification " << notification;
    }
    SendMessage(d->hwnd(), WM_COMMAND, makeWParam(kResolutionList, CBN_SELENDOK), 0);
    EXPECT_EQ(800, DisplaySettings::width);
}

TEST_F(SetupDialog, ButtonsEndTheDialogWithTheCommandWord) {
    struct Case {
        const char* name;
        void (*act)(Dialog&);
        INT_PTR expected;
    } cases[] = {
        {"Runit", [](Dialog& d) { d.clickButton(IDOK); }, 1},
        {"Nah", [](Dialog& d) { d.clickButton(IDCANCEL); }, 2},
        {"Enter", [](Dialog& d) { d.pressEnter(); }, 1},
        {"Escape", [](Dialog& d) { d.cancel(); }, 2},
    };
    for (const Case& c : cases) {
        auto d = open();
        EXPECT_FALSE(d->ended());
        c.act(*d);
        EXPECT_TRUE(d->ended()) << c.name;
        EXPECT_EQ(c.expected, d->result()) << c.name;
    }
}

TEST_F(SetupDialog, UnknownCommandsAreLogged) {
    auto d = open();
    struct Case {
        WPARAM wParam;
        const char* line;
    } cases[] = {
        {makeWParam(555, 3), " Unrecognized command 197163, HIWORD 3, LOWORD 555\n"},
        {makeWParam(0, 0), " Unrecognized command 0, HIWORD 0, LOWORD 0\n"},
        {makeWParam(104, 9), " Unrecognized command 589928, HIWORD 9, LOWORD 104\n"},
    };
    for (const Case& c : cases) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(0, SendMessage(d->hwnd(), WM_COMMAND, c.wParam, 0));
        std::string log = testing::internal::GetCapturedStdout();
        EXPECT_NE(std::string::npos, log.find(c.line)) << log;
    }
    EXPECT_FALSE(d->ended());
}

// The whole path as main takes it: settings file, dialog in script mode, saved file.
class SetupDialogRun : public SetupDialog {
protected:
    void SetUp() override {
        SetupDialog::SetUp();
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(testpaths::freshScratchDir(
            std::string("setup_") + testing::UnitTest::GetInstance()->current_test_info()->name()));
        platform::setUiBackend(platform::UiBackend::Script);
    }
    void TearDown() override {
        unsetenv("FESTOONERY_ANSWERS");
        platform::resetScriptedAnswers();
        std::filesystem::current_path(previous_);
        SetupDialog::TearDown();
    }
    // loadSettings, runSetupDialog and, after OK, saveSettings; returns the dialog's result.
    int run(const char* answers) {
        setenv("FESTOONERY_ANSWERS", answers, 1);
        platform::resetScriptedAnswers();
        testing::internal::CaptureStdout();
        loadSettings();
        int result = runSetupDialog(moduleInstance());
        if (result == 1) saveSettings();
        log_ = testing::internal::GetCapturedStdout();
        return result;
    }
    std::filesystem::path previous_;
};

TEST_F(SetupDialogRun, FileContentsAfterTheDialog) {
    struct Case {
        const char* name;
        const char* before;  // null: no file
        const char* answers;
        int expectedResult;
        const char* after;  // null: no file
    } cases[] = {
        {"no file, OK", nullptr, "ok", 1,
         "width 1920\nheight 1080\nflags -2147483648\nsamples 4\nvsync 1\n"},
        {"no file, cancel", nullptr, "cancel", 2, nullptr},
        {"flags 0 stays", "width 800 height 600 flags 0", "ok", 1,
         "width 800\nheight 600\nflags 0\nsamples 4\nvsync 1\n"},
        {"samples 3", "width 1024 height 768 samples 3 vsync 0", "ok", 1,
         "width 1024\nheight 768\nflags -2147483648\nsamples 0\nvsync 0\n"},
        {"size not offered", "width 1000 height 700", "ok", 1,
         "width 800\nheight 600\nflags -2147483648\nsamples 4\nvsync 1\n"},
        {"cancel keeps the file", "width 1024\nheight 768\nsamples 3\n", "cancel", 2,
         "width 1024\nheight 768\nsamples 3\n"},
    };
    for (const Case& c : cases) {
        DisplaySettings::resetToDefaults();
        std::filesystem::remove("default.cfg");
        if (c.before) testpaths::writeFile("default.cfg", c.before);
        EXPECT_EQ(c.expectedResult, run(c.answers)) << c.name;
        if (c.after) {
            EXPECT_EQ(c.after, testpaths::readFile("default.cfg")) << c.name;
        } else {
            EXPECT_FALSE(std::filesystem::exists("default.cfg")) << c.name;
        }
    }
}

TEST_F(SetupDialogRun, TickingFullscreenWritesTheFlag) {
    testpaths::writeFile("default.cfg", "flags 0\n");
    testing::internal::CaptureStdout();
    loadSettings();
    testing::internal::GetCapturedStdout();
    DialogTemplateBuilder b;
    buildSetupDialogTemplate(&b);
    auto d = Dialog::create(b.data(), b.size(), setupDialogProc, 0);
    d->initialise();
    EXPECT_FALSE(ticked(*d, kFullscreenBox));
    d->clickButton(kFullscreenBox);
    d->pressEnter();
    ASSERT_EQ(1, d->result());
    testing::internal::CaptureStdout();
    saveSettings();
    testing::internal::GetCapturedStdout();
    EXPECT_NE(std::string::npos, testpaths::readFile("default.cfg").find("flags -2147483648\n"));
}

}  // namespace
