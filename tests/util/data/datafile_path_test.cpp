#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/paths.h"
#include "util/data/data.h"
#include "util/data/datafile_path.h"

namespace {

namespace fs = std::filesystem;
using Places = std::vector<std::string>;

TEST(DatafilePath, WorkingFolderThenBesideTheProgramThenTheInstalledDataFolder) {
    const struct {
        std::string programFolder;
        Places places;
    } cases[] = {
        {"/opt/fest/bin", {"data.mvt", "/opt/fest/bin/data.mvt", "/opt/fest/share/festoonery/data.mvt"}},
        {"/usr/bin/", {"data.mvt", "/usr/bin/data.mvt", "/usr/share/festoonery/data.mvt"}},
        {"/usr/./bin", {"data.mvt", "/usr/bin/data.mvt", "/usr/share/festoonery/data.mvt"}},
        {"build/run", {"data.mvt", "build/run/data.mvt", "build/share/festoonery/data.mvt"}},
    };
    for (const auto& c : cases) EXPECT_EQ(c.places, datafileCandidates(c.programFolder)) << c.programFolder;
}

class DatafileSearch : public testing::Test {
protected:
    void SetUp() override {
        original = fs::current_path();
        root = testpaths::freshScratchDir("datafile-search");
        fs::create_directories(root + "/work");
        ASSERT_EQ(0, chdir((root + "/work").c_str()));
    }
    void TearDown() override { fs::current_path(original); }
    fs::path original;
    std::string root;
};

TEST_F(DatafileSearch, TakesTheFirstPlaceThatHasAnArchive) {
    // Which of working folder, program folder and installed data folder hold data.mvt,
    // and the place that must win (-1: none).
    const struct {
        bool work, beside, installed;
        int expected;
    } cases[] = {
        {true, true, true, 0},   {false, true, true, 1}, {false, false, true, 2},
        {true, false, true, 0},  {false, false, false, -1},
    };
    const Places places = datafileCandidates(root + "/prefix/bin");
    for (const auto& c : cases) {
        fs::remove_all(root + "/prefix");
        fs::remove("data.mvt");
        fs::create_directories(root + "/prefix/bin");
        fs::create_directories(root + "/prefix/share/festoonery");
        if (c.work) testpaths::writeFile("data.mvt", "w");
        if (c.beside) testpaths::writeFile(places[1], "b");
        if (c.installed) testpaths::writeFile(places[2], "i");
        const std::string expected = c.expected < 0 ? "" : places[size_t(c.expected)];
        EXPECT_EQ(expected, findDatafile(places)) << c.work << c.beside << c.installed;
    }
    // A link is followed: a dangling one in the working folder does not hide the others.
    fs::create_symlink(root + "/nowhere.mvt", "data.mvt");
    testpaths::writeFile(places[2], "i");
    EXPECT_EQ(places[2], findDatafile(places));
}

using DatafileSearchDeathTest = DatafileSearch;

TEST_F(DatafileSearchDeathTest, NoArchiveAnywhereLogsThePlacesThenFailsAsBefore) {
    setDataMode(Archive);
    // The log goes to stdout; the death test matches stderr, so join them.
    EXPECT_EXIT(
        {
            dup2(2, 1);
            readDatafile();
        },
        testing::ExitedWithCode(1),
        "\\[DATA\\] No archive at data\\.mvt, /[^ ]*/data\\.mvt or /[^ ]*/share/festoonery/data\\.mvt\n"
        ".*Reading datafile data\\.mvt\\.\\.\\.\n"
        ".*\\[box\\] Error in file [^|]*\\| .*Failed to open data file data\\.mvt for reading\\.");
}

}  // namespace
