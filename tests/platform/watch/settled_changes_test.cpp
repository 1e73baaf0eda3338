// A changed file is taken once it is complete, whichever way an editor saves it.
#include "platform/watch/settled_changes.h"

#include <gtest/gtest.h>

#include <map>

namespace {

// A saving editor's steps on a fake file system, one per 20 ms (the watch looks every
// frame); what is taken, when.
struct Step {
    int64_t ms;
    const char* path;  // an event for it, or null for a look only
    platform::FileStamp stamp;  // the file after the step
};

TEST(SettledChanges, TakesEachSaveOnceAndOnlyWhenComplete) {
    using platform::FileStamp;
    const FileStamp gone{}, empty{true, 0, 1}, half{true, 40, 2}, whole{true, 90, 3}, temp{true, 90, 4};
    struct Case {
        const char* what;
        std::vector<Step> steps;
        std::vector<std::string> taken;  // in order, over the whole run
    } cases[] = {
        {"written in place at once", {{0, "a.frag", whole}}, {"a.frag"}},
        {"truncated, then written 100 ms later",
         {{0, "a.frag", empty}, {100, "a.frag", whole}}, {"a.frag"}},
        {"truncated and left empty for a second, then written",
         {{0, "a.frag", empty}, {1000, "a.frag", whole}}, {"a.frag"}},
        {"written in two halves 100 ms apart",
         {{0, "a.frag", half}, {100, "a.frag", whole}}, {"a.frag"}},
        {"a temporary written and renamed over",
         {{0, "a.frag.tmp", temp}, {40, "a.frag.tmp", gone}, {40, "a.frag", whole}}, {"a.frag"}},
        {"deleted", {{0, "a.frag", gone}}, {}},
    };
    for (const Case& c : cases) {
        std::map<std::string, FileStamp> files;
        platform::SettledChanges settling(150, [&](const std::string& p) { return files[p]; });
        std::vector<std::string> taken;
        std::map<std::string, int> takenWhileIncomplete;
        size_t next = 0;
        for (int64_t now = 0; now <= 3000; now += 20) {
            for (; next < c.steps.size() && c.steps[next].ms <= now; ++next) {
                files[c.steps[next].path] = c.steps[next].stamp;
                settling.note({c.steps[next].path}, now);
            }
            for (const std::string& p : settling.take(now)) {
                taken.push_back(p);
                // A take must see the file as its last step left it.
                for (size_t k = next; k < c.steps.size(); ++k)
                    if (p == c.steps[k].path) ++takenWhileIncomplete[p];
            }
        }
        EXPECT_EQ(c.taken, taken) << c.what;
        EXPECT_TRUE(takenWhileIncomplete.empty()) << c.what << ": taken before its last step";
    }
}

TEST(SettledChanges, WaitsForTheQuietTime) {
    platform::FileStamp whole{true, 90, 3};
    platform::SettledChanges settling(150, [&](const std::string&) { return whole; });
    settling.note({"x"}, 0);
    EXPECT_TRUE(settling.take(100).empty());
    EXPECT_TRUE(settling.take(160).empty());  // the first look
    EXPECT_TRUE(settling.take(250).empty());
    EXPECT_EQ(std::vector<std::string>{"x"}, settling.take(320));  // the same a quiet time later
    EXPECT_FALSE(settling.pending());
}

}  // namespace
