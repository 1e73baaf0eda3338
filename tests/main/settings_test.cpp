#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <string>

#include "main/settings.h"
#include "support/paths.h"

namespace {

struct Values {
    int32_t width, height, flags, samples, vsync;
    bool operator==(const Values& o) const {
        return width == o.width && height == o.height && flags == o.flags && samples == o.samples &&
               vsync == o.vsync;
    }
};
std::ostream& operator<<(std::ostream& out, const Values& v) {
    return out << "{width " << v.width << ", height " << v.height << ", flags " << v.flags
               << ", samples " << v.samples << ", vsync " << v.vsync << "}";
}
Values current() {
    using namespace DisplaySettings;
    return {width, height, flags, samples, vsync};
}
const Values kDefaults{-1, -1, INT_MIN, 4, 1};

// Runs each test in a fresh folder of its own, with the program-start settings.
class SettingsFile : public testing::Test {
protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        dir_ = testpaths::freshScratchDir(std::string("settings_") +
                                          testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::current_path(dir_);
        DisplaySettings::resetToDefaults();
    }
    void TearDown() override { std::filesystem::current_path(previous_); }
    std::vector<std::string> filesHere() {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir_)) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::filesystem::path previous_;
    std::string dir_;
};

TEST_F(SettingsFile, MissingFileKeepsTheValuesAndSaysSo) {
    testing::internal::CaptureStdout();
    loadSettings();
    std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(std::string::npos, log.find(" No default configuration file found... oh well, moving on.\n")) << log;
    EXPECT_EQ(kDefaults, current());
}

TEST_F(SettingsFile, ReadsPairsByTheirRules) {
    struct Case {
        const char* name;
        std::string contents;
        Values expected;
    } cases[] = {
        {"as written", "width 1024\nheight 768\nflags -2147483648\nsamples 4\nvsync 1\n",
         {1024, 768, INT_MIN, 4, 1}},
        {"empty file", "", kDefaults},
        {"hex and octal", "width 0x400 height 0300\nflags 0x80000000\tsamples 010 vsync 0x0",
         {1024, 192, INT_MIN, 8, 0}},
        {"signs", "width -5 height +7 samples -3 vsync -0x1", {-5, 7, INT_MIN, -3, -1}},
        {"any white space", "  \n\twidth\n\n  640\r\nheight\t480  ", {640, 480, INT_MIN, 4, 1}},
        {"a non-number ends reading", "width 640\nheight abc\nsamples 2\n", {640, -1, INT_MIN, 4, 1}},
        {"a value cut by the end", "width 800\nheight", {800, -1, INT_MIN, 4, 1}},
        {"digits then letters", "samples 8x vsync 0", {-1, -1, INT_MIN, 8, 1}},
        {"unknown and wrong-case keys", "Width 5\nfoo 7\nWIDTH 9\nheight 480\nvsync2 0\n",
         {-1, 480, INT_MIN, 4, 1}},
        {"the later key wins", "samples 2\nsamples 16\nwidth 1\nwidth 2\n", {2, -1, INT_MIN, 16, 1}},
        {"key and value in one token", "width=5 height 6", {-1, -1, INT_MIN, 4, 1}},
        {"the rest of a long key is its value", std::string(4991, 'x') + "123 width 1280 height 1024",
         {1280, 1024, INT_MIN, 4, 1}},
        {"a long key's rest that is no number ends reading", std::string(6000, 'w') + " 5\nsamples 16\n",
         kDefaults},
        {"key of 4991 characters", std::string(4991, 'k') + " 5\nvsync 0\n", {-1, -1, INT_MIN, 4, 0}},
        {"32-bit wrap", "flags 0xFFFFFFFF width 4294967297", {1, -1, -1, 4, 1}},
    };
    for (const Case& c : cases) {
        DisplaySettings::resetToDefaults();
        testpaths::writeFile("default.cfg", c.contents);
        testing::internal::CaptureStdout();
        loadSettings();
        std::string log = testing::internal::GetCapturedStdout();
        EXPECT_EQ(c.expected, current()) << c.name;
        EXPECT_NE(std::string::npos, log.find(" Loading default configuration from default.cfg\n")) << c.name;
    }
}

TEST_F(SettingsFile, SavesFiveLinesAndLeavesNoTemporaryFile) {
    struct Case {
        Values values;
        const char* expected;
    } cases[] = {
        {{1024, 768, INT_MIN, 4, 1}, "width 1024\nheight 768\nflags -2147483648\nsamples 4\nvsync 1\n"},
        {{-1, -1, 0, 0, 0}, "width -1\nheight -1\nflags 0\nsamples 0\nvsync 0\n"},
        {{1920, 1080, int32_t(0x80000012u), -3, 1},
         "width 1920\nheight 1080\nflags -2147483630\nsamples -3\nvsync 1\n"},
    };
    testpaths::writeFile("default.cfg", "an older, longer file that must be replaced completely\n");
    for (const Case& c : cases) {
        DisplaySettings::width = c.values.width;
        DisplaySettings::height = c.values.height;
        DisplaySettings::flags = c.values.flags;
        DisplaySettings::samples = c.values.samples;
        DisplaySettings::vsync = c.values.vsync;
        testing::internal::CaptureStdout();
        saveSettings();
        std::string log = testing::internal::GetCapturedStdout();
        EXPECT_EQ(c.expected, testpaths::readFile("default.cfg"));
        EXPECT_NE(std::string::npos, log.find(" Saving default configuration to default.cfg\n")) << log;
        EXPECT_EQ(std::vector<std::string>{"default.cfg"}, filesHere());
        // Read back, the file gives the same values.
        DisplaySettings::resetToDefaults();
        testing::internal::CaptureStdout();
        loadSettings();
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(c.values, current()) << c.expected;
    }
}

// The file the viewer had keeps being what it was: a link to a file elsewhere, or a file
// with its own permissions.
TEST_F(SettingsFile, SaveKeepsALinkAndThePermissions) {
    struct Case {
        const char* what;
        bool link;
        std::filesystem::perms mode;
    } cases[] = {
        {"link to ../target.cfg", true, std::filesystem::perms(0644)},
        {"mode 0640", false, std::filesystem::perms(0640)},
        {"mode 0444", false, std::filesystem::perms(0444)},
    };
    for (const Case& c : cases) {
        std::filesystem::remove("default.cfg");
        std::filesystem::create_directories("sub");
        std::filesystem::current_path("sub");
        const std::string real = c.link ? "../target.cfg" : "default.cfg";
        testpaths::writeFile(real, "width 1\n");
        std::filesystem::permissions(real, c.mode);
        if (c.link) std::filesystem::create_symlink(real, "default.cfg");
        DisplaySettings::width = 800;
        testing::internal::CaptureStdout();
        saveSettings();
        std::string log = testing::internal::GetCapturedStdout();
        bool mayWrite = geteuid() == 0 || (c.mode & std::filesystem::perms::owner_write) != std::filesystem::perms::none;
        EXPECT_EQ(mayWrite, testpaths::readFile(real).rfind("width 800\n", 0) == 0) << c.what << ": " << log;
        EXPECT_EQ(c.link, std::filesystem::is_symlink("default.cfg")) << c.what;
        EXPECT_EQ(c.mode, std::filesystem::status(real).permissions()) << c.what;
        std::filesystem::remove("default.cfg");
        std::filesystem::remove(real);
        std::filesystem::current_path("..");
    }
}

TEST_F(SettingsFile, FailedRenameLogsAndCleansUp) {
    // default.cfg is a folder with something in it: the rename over it must fail.
    std::filesystem::create_directory("default.cfg");
    testpaths::writeFile("default.cfg/keep", "x");
    testing::internal::CaptureStdout();
    saveSettings();
    std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(std::string::npos,
              log.find(" Failed to save default configuration to default.cfg... oh well, moving on.\n"))
        << log;
    EXPECT_EQ(std::string::npos, log.find("Saving")) << "announced only once saved: " << log;
    EXPECT_EQ(std::vector<std::string>{"default.cfg"}, filesHere()) << "the temporary file is removed";
    EXPECT_EQ("x", testpaths::readFile("default.cfg/keep"));
}

TEST_F(SettingsFile, UnwritableFolderLogsTheFailureLine) {
    if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    testpaths::writeFile("default.cfg", "width 1\n");
    std::filesystem::permissions(dir_, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    testing::internal::CaptureStdout();
    saveSettings();
    std::string log = testing::internal::GetCapturedStdout();
    std::filesystem::permissions(dir_, std::filesystem::perms::owner_all);
    EXPECT_NE(std::string::npos,
              log.find(" Failed to save default configuration to default.cfg... oh well, moving on.\n"))
        << log;
    EXPECT_EQ(std::string::npos, log.find("Saving")) << log;
    EXPECT_EQ("width 1\n", testpaths::readFile("default.cfg"));
}

using SettingsFileDeathTest = SettingsFile;

// A pipe (or device) in the settings file's place is unreadable like a missing file: no
// waiting for a writer. The child is bounded by an alarm, so a regression fails.
TEST_F(SettingsFileDeathTest, PipeCountsAsNoFileAndDoesNotBlock) {
    ASSERT_EQ(0, mkfifo("default.cfg", 0600));
    auto load = []() {
        alarm(10);
        dup2(STDERR_FILENO, STDOUT_FILENO);
        loadSettings();
        fflush(stdout);
        _exit(DisplaySettings::width == -1 && DisplaySettings::samples == 4 ? 0 : 1);
    };
    EXPECT_EXIT(load(), testing::ExitedWithCode(0), " No default configuration file found\\.\\.\\. oh well, moving on\\.\n");
}

// In the death-test child: file writes beyond bytes fail with EFBIG while the settings
// are saved. The log collects in a pipe (not limited) and is copied to stderr after.
void saveWithFileSizeLimit(rlim_t bytes) {
    int fds[2];
    if (pipe(fds) != 0) _exit(2);
    dup2(fds[1], STDOUT_FILENO);
    signal(SIGXFSZ, SIG_IGN);
    rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limit{bytes, saved.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limit);
    saveSettings();
    fflush(stdout);
    setrlimit(RLIMIT_FSIZE, &saved);
    close(fds[1]);
    close(STDOUT_FILENO);
    char buffer[4096];
    ssize_t n = read(fds[0], buffer, sizeof buffer);
    if (n > 0 && write(STDERR_FILENO, buffer, size_t(n)) != n) _exit(3);
    _exit(0);
}

// A write that fails half-way (the file-size limit cuts it) must leave the old file.
TEST_F(SettingsFileDeathTest, FailedWriteLeavesTheOldFileIntact) {
    const std::string old = "width 640\nheight 480\nflags 0\nsamples 2\nvsync 0\n";
    testpaths::writeFile("default.cfg", old);
    DisplaySettings::width = 1920;
    EXPECT_EXIT(saveWithFileSizeLimit(20), testing::ExitedWithCode(0),
        "^[^\n]* Failed to save default configuration to default.cfg\\.\\.\\. oh well, moving on\\.\n$");
    EXPECT_EQ(old, testpaths::readFile("default.cfg"));
    EXPECT_EQ(std::vector<std::string>{"default.cfg"}, filesHere());
}

}  // namespace
