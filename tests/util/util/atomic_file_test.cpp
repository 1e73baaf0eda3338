#include "util/util/atomic_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/paths.h"

namespace fs = std::filesystem;

namespace {

class AtomicFileTest : public testing::Test {
protected:
    void SetUp() override {
        dir = testpaths::freshScratchDir(std::string("atomic_") +
                                         testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    std::vector<std::string> files(const std::string& folder) {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    // Writes text to path through the helper; true when every step worked.
    bool write(const std::string& path, const std::string& text) {
        AtomicFile out;
        if (!atomicFileOpen(&out, path.c_str())) return false;
        fputs(text.c_str(), out.file);
        return atomicFileFinish(&out) && atomicFileReplace(&out);
    }
    mode_t modeOf(const std::string& path) {
        struct stat info;
        return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
    }
    std::string dir;
};

TEST_F(AtomicFileTest, LinksStayLinksAndTheirTargetIsReplaced) {
    fs::create_directories(dir + "/run");
    fs::create_directories(dir + "/keep");
    testpaths::writeFile(dir + "/keep/target.cfg", "old\n");
    struct Case {
        const char* what;
        std::string link, linkText, target;
    } cases[] = {
        {"relative link", dir + "/run/default.cfg", "../keep/target.cfg", dir + "/keep/target.cfg"},
        {"link to a link", dir + "/run/second.cfg", "default.cfg", dir + "/keep/target.cfg"},
        {"absolute link", dir + "/run/abs.cfg", dir + "/keep/target.cfg", dir + "/keep/target.cfg"},
        {"dangling link creates its target", dir + "/run/new.cfg", "../keep/new.cfg", dir + "/keep/new.cfg"},
    };
    for (const Case& c : cases) {
        fs::create_symlink(c.linkText, c.link);
        ASSERT_TRUE(write(c.link, std::string(c.what) + "\n")) << c.what;
        EXPECT_TRUE(fs::is_symlink(c.link)) << c.what;
        EXPECT_EQ(c.linkText, fs::read_symlink(c.link).string()) << c.what;
        EXPECT_EQ(std::string(c.what) + "\n", testpaths::readFile(c.target)) << c.what;
    }
    EXPECT_EQ((std::vector<std::string>{"new.cfg", "target.cfg"}), files(dir + "/keep"));
}

TEST_F(AtomicFileTest, LinkLoopIsRefused) {
    fs::create_symlink("b", dir + "/a");
    fs::create_symlink("a", dir + "/b");
    AtomicFile out;
    EXPECT_FALSE(atomicFileOpen(&out, (dir + "/a").c_str()));
    EXPECT_EQ(ELOOP, errno);
    EXPECT_EQ((std::vector<std::string>{"a", "b"}), files(dir));
}

TEST_F(AtomicFileTest, PermissionsAreKept) {
    const std::string path = dir + "/default.cfg";
    for (mode_t mode : {0640, 0600, 0755, 0444, 02775}) {
        fs::remove(path);
        testpaths::writeFile(path, "old\n");
        ASSERT_EQ(0, chmod(path.c_str(), mode));
        bool written = write(path, "new\n");
        if (mode == 0444 && geteuid() != 0) {
            // Not writable for this user: refused as opening it for writing would be.
            EXPECT_FALSE(written);
            EXPECT_EQ("old\n", testpaths::readFile(path));
        } else {
            EXPECT_TRUE(written) << std::oct << mode;
            EXPECT_EQ("new\n", testpaths::readFile(path)) << std::oct << mode;
        }
        EXPECT_EQ(mode, modeOf(path)) << std::oct << mode;
        EXPECT_EQ(std::vector<std::string>{"default.cfg"}, files(dir));
    }
}

TEST_F(AtomicFileTest, NewFileGetsTheUmaskPermissions) {
    mode_t previous = umask(027);
    bool written = write(dir + "/fresh", "x");
    umask(previous);
    ASSERT_TRUE(written);
    EXPECT_EQ(mode_t(0640), modeOf(dir + "/fresh"));
}

TEST_F(AtomicFileTest, RootKeepsTheOwner) {
    if (geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
    const std::string path = dir + "/owned";
    testpaths::writeFile(path, "old");
    ASSERT_EQ(0, chown(path.c_str(), 4321, 8765));
    ASSERT_EQ(0, chmod(path.c_str(), 0640));
    ASSERT_TRUE(write(path, "new"));
    struct stat info;
    ASSERT_EQ(0, stat(path.c_str(), &info));
    EXPECT_EQ(4321u, info.st_uid);
    EXPECT_EQ(8765u, info.st_gid);
    EXPECT_EQ(mode_t(0640), info.st_mode & 07777);
}

TEST_F(AtomicFileTest, FailedRenameRemovesTheTemporaryFile) {
    fs::create_directories(dir + "/default.cfg/inside");
    AtomicFile out;
    ASSERT_TRUE(atomicFileOpen(&out, (dir + "/default.cfg").c_str()));
    fputs("new\n", out.file);
    ASSERT_TRUE(atomicFileFinish(&out));
    EXPECT_FALSE(atomicFileReplace(&out));
    EXPECT_EQ(std::vector<std::string>{"default.cfg"}, files(dir));
    EXPECT_EQ(nullptr, out.temporary);
}

// A full disk, as a file-size limit: the write fails at the flush, in a child process
// (the limit and SIGXFSZ are process-wide).
TEST_F(AtomicFileTest, FullDiskLeavesTheOldFile) {
    const std::string path = dir + "/data.mvt";
    const std::string old(100, 'o');
    testpaths::writeFile(path, old);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{64, 64};
        setrlimit(RLIMIT_FSIZE, &limit);
        AtomicFile out;
        if (!atomicFileOpen(&out, path.c_str())) _exit(2);
        fputs(std::string(5000, 'n').c_str(), out.file);
        bool finished = atomicFileFinish(&out);
        _exit(finished ? 3 : out.temporary != nullptr ? 4 : 0);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    EXPECT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(0, WEXITSTATUS(status)) << "3: the write was reported done, 4: temporary file kept";
    EXPECT_EQ(old, testpaths::readFile(path));
    EXPECT_EQ(std::vector<std::string>{"data.mvt"}, files(dir));
}

TEST_F(AtomicFileTest, StaleTemporaryFilesOfEarlierRunsAreRemoved) {
    // A process id that is not running: a finished child's.
    pid_t gone = fork();
    if (gone == 0) _exit(0);
    ASSERT_GT(gone, 0);
    waitpid(gone, nullptr, 0);
    const std::string own = std::to_string(getpid());
    const std::string dead = std::to_string(gone);
    struct Case {
        std::string name;
        bool old;  // two days old
        bool removed;
    } cases[] = {
        {"default.cfg.tmp-" + dead, false, true},
        {"default.cfg.tmp-" + dead + "-3", false, true},
        {"default.cfg.tmp-" + own, false, true},  // an earlier process with this id
        {"default.cfg.tmp-1", false, false},      // a running process might be writing it
        {"default.cfg.tmp-1-2", true, true},
        {"default.cfg.tmp-" + dead + "x", false, false},
        {"default.cfg.tmp-", true, false},
        {"default.cfg.backup", true, false},
        {"other.cfg.tmp-" + dead, false, false},
    };
    for (const Case& c : cases) {
        testpaths::writeFile(dir + "/" + c.name, "left over");
        if (c.old) {
            utimbuf times{time(nullptr) - 2 * 24 * 3600, time(nullptr) - 2 * 24 * 3600};
            ASSERT_EQ(0, utime((dir + "/" + c.name).c_str(), &times));
        }
    }
    ASSERT_TRUE(write(dir + "/default.cfg", "new\n"));
    for (const Case& c : cases) EXPECT_EQ(!c.removed, fs::exists(dir + "/" + c.name)) << c.name;
}

}  // namespace
