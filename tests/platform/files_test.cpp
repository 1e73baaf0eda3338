#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/files.h"
#include "support/paths.h"

namespace {

// Only regular files open; anything else is refused at once with its reason (a pipe
// without a writer would block a plain open for ever, so the test is bounded by alarm).
TEST(OpenRegularFileDeathTest, OpensOnlyRegularFilesAndNeverBlocks) {
    std::string dir = testpaths::freshScratchDir("open_regular");
    testpaths::writeFile(dir + "/plain.txt", "abc");
    ASSERT_EQ(0, mkfifo((dir + "/pipe").c_str(), 0600));
    struct Case {
        std::string path;
        int error;           // 0: opens
        const char* reason;  // the text *why points to
    } cases[] = {
        {dir + "/plain.txt", 0, nullptr},
        {dir + "/missing.txt", ENOENT, "No such file or directory"},
        {dir, EISDIR, "Is a directory"},
        {dir + "/pipe", EINVAL, "Not a regular file (a pipe, device or socket)"},
        {"/dev/zero", EINVAL, "Not a regular file (a pipe, device or socket)"},
    };
    auto openAll = [&]() {
        alarm(10);
        for (const Case& c : cases) {
            const char* why = nullptr;
            errno = 0;
            FILE* file = platform::openRegularFile(c.path.c_str(), "rb", &why);
            if (c.error == 0) {
                char bytes[4] = {};
                if (!file || fread(bytes, 1, 4, file) != 3 || std::string(bytes) != "abc") _exit(10);
                fclose(file);
            } else if (file || errno != c.error || !why || std::string(why) != c.reason) {
                fprintf(stderr, "%s: errno %d, why %s\n", c.path.c_str(), errno, why ? why : "(null)");
                _exit(11);
            }
        }
        _exit(0);
    };
    EXPECT_EXIT(openAll(), testing::ExitedWithCode(0), "");
}

// Past the file-size limit a write fails with EFBIG instead of ending the process.
TEST(IgnoreFileSizeSignalDeathTest, WritePastTheLimitFailsWithAnError) {
    std::string path = testpaths::freshScratchDir("file_size_signal") + "/big.bin";
    auto writePastLimit = [&]() {
        platform::ignoreFileSizeSignal();
        rlimit saved, limit;
        getrlimit(RLIMIT_FSIZE, &saved);
        limit = saved;
        limit.rlim_cur = 16;
        setrlimit(RLIMIT_FSIZE, &limit);
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0) _exit(2);
        char bytes[64] = {};
        ssize_t first = write(fd, bytes, sizeof bytes);  // cut at the limit
        ssize_t second = write(fd, bytes, sizeof bytes);
        int error = errno;
        setrlimit(RLIMIT_FSIZE, &saved);  // the death test's stderr is a file too
        fprintf(stderr, "wrote %zd, then %zd with errno %d\n", first, second, error);
        _exit(0);
    };
    EXPECT_EXIT(writePastLimit(), testing::ExitedWithCode(0), "wrote 16, then -1 with errno 27\n");
}

}  // namespace
