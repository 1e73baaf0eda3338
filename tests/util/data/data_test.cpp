#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "support/paths.h"
#include "util/data/data.h"

namespace {

// The box record of a fatal error raised by the data module.
std::string fatalBox(const std::string& message) {
    return "\\[box\\] Error in file src/util/data/data\\.cpp:[0-9]+ \\| Error in file "
           "src/util/data/data\\.cpp:[0-9]+\\\\n\\\\n" +
           message;
}

void addEntry(const std::string& name, const std::string& bytes) {
    DataEntry* entry = static_cast<DataEntry*>(malloc(sizeof(DataEntry)));
    entry->name = strdup(name.c_str());
    entry->length = int32_t(bytes.size());
    entry->data = static_cast<unsigned char*>(malloc(bytes.size() + 1));
    memcpy(entry->data, bytes.data(), bytes.size());
    dataAppendEntry(entry);
}

std::string readAll(FILE* file) {
    std::string bytes;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, got);
    return bytes;
}

long streamLength(FILE* file) {
    long here = ftell(file);
    fseek(file, 0, SEEK_END);
    long length = ftell(file);
    fseek(file, here, SEEK_SET);
    return length;
}

class DataLayer : public testing::Test {
protected:
    void SetUp() override {
        dataClearEntries();
        setDataMode(Disk);
        dir = testpaths::freshScratchDir(std::string("data_") +
                                         testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    void TearDown() override {
        dataClearEntries();
        setDataMode(Disk);
    }
    std::string dir;
};

using DataLayerDeathTest = DataLayer;

TEST_F(DataLayer, ArchiveLookupIsAnExactByteComparison) {
    setDataMode(Archive);
    addEntry("data/common/fonts/courier_new.ttf", "font bytes");
    addEntry("data/common/Shaders/Blur.frag", "shader");
    addEntry("data\\common\\music\\Festoonery.xml", "<sync/>");
    struct Case {
        const char* path;
        const char* expected;  // null: not found
    } cases[] = {
        {"data/common/fonts/courier_new.ttf", "font bytes"},
        {"data/common/Shaders/Blur.frag", "shader"},
        {"data\\common\\music\\Festoonery.xml", "<sync/>"},
        {"data/common/fonts/Courier_New.ttf", nullptr},
        {"data/common/shaders/blur.frag", nullptr},
        {"data\\common\\fonts\\courier_new.ttf", nullptr},
        {"data/common/music/Festoonery.xml", nullptr},
        {"./data/common/fonts/courier_new.ttf", nullptr},
        {"data//common/fonts/courier_new.ttf", nullptr},
        {"data/common/fonts/courier_new.tt", nullptr},
        {"data/common/fonts/courier_new.ttf ", nullptr},
        {"", nullptr},
    };
    for (const Case& c : cases) {
        FILE* file = dataOpen(c.path, "rb");
        if (!c.expected) {
            EXPECT_EQ(nullptr, file) << "\"" << c.path << "\" should not be found";
            if (file) fclose(file);
            continue;
        }
        ASSERT_NE(nullptr, file) << "\"" << c.path << "\" should be found";
        EXPECT_EQ(c.expected, readAll(file)) << c.path;
        fclose(file);
    }
}

TEST_F(DataLayer, ArchiveStreamsStartAtZeroAndAreIndependent) {
    setDataMode(Archive);
    const std::string bytes("0123456789abcdef\r\n\0\xff tail", 25);
    addEntry("data/common/x.bin", bytes);
    // "rt" is ignored in archive mode: the stream is binary read/write.
    FILE* first = dataOpen("data/common/x.bin", "rt");
    FILE* second = dataOpen("data/common/x.bin", "rb");
    ASSERT_NE(nullptr, first);
    ASSERT_NE(nullptr, second);
    EXPECT_EQ(0, ftell(first));
    EXPECT_EQ(long(bytes.size()), streamLength(first));
    char head[4] = {};
    ASSERT_EQ(4u, fread(head, 1, 4, first));
    EXPECT_EQ(0, memcmp(head, "0123", 4));
    // Writing into one stream changes neither the other nor the entry.
    fseek(first, 0, SEEK_SET);
    EXPECT_EQ(3u, fwrite("XYZ", 1, 3, first));
    EXPECT_EQ(0, ftell(second));
    EXPECT_EQ(bytes, readAll(second));
    FILE* third = dataOpen("data/common/x.bin", "rb");
    ASSERT_NE(nullptr, third);
    EXPECT_EQ(bytes, readAll(third));
    fclose(first);
    fclose(second);
    fclose(third);
}

TEST_F(DataLayer, ArchiveModeNeverConsultsTheDisk) {
    std::string path = dir + "/on_disk.txt";
    testpaths::writeFile(path, "disk bytes");
    setDataMode(Archive);
    EXPECT_EQ(nullptr, dataOpen(path.c_str(), "rb"));
    addEntry(path, "archive bytes");
    FILE* file = dataOpen(path.c_str(), "rb");
    ASSERT_NE(nullptr, file);
    EXPECT_EQ("archive bytes", readAll(file));
    fclose(file);
}

TEST_F(DataLayerDeathTest, TwoArchiveEntriesWithTheRequestedNameAreFatal) {
    setDataMode(Archive);
    addEntry("data/common/a.png", "one");
    addEntry("data/common/b.png", "other");
    addEntry("data/common/a.png", "two");
    EXPECT_EXIT(dataOpen("data/common/a.png", "rb"), testing::ExitedWithCode(1),
                fatalBox("Ouch, found more than one entry for data/common/a\\.png in datafile\\. "
                         "Duplicates make no sense here\\.\n"));
}

TEST_F(DataLayer, RecordKeepsEachNameOnceAndLogsTheSkip) {
    std::string path = dir + "/asset.bin";
    std::string bytes(70000, 'q');
    bytes[5] = '\0';
    testpaths::writeFile(path, bytes);
    setDataMode(Record);
    testing::internal::CaptureStdout();
    FILE* first = dataOpen(path.c_str(), "rb");
    std::string firstLog = testing::internal::GetCapturedStdout();
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(0, ftell(first)) << "the recorded stream must be rewound";
    EXPECT_EQ(bytes, readAll(first));
    fclose(first);
    EXPECT_EQ("", firstLog);

    testing::internal::CaptureStdout();
    FILE* second = dataOpen(path.c_str(), "rb");
    std::string secondLog = testing::internal::GetCapturedStdout();
    ASSERT_NE(nullptr, second);
    EXPECT_EQ(bytes, readAll(second));
    fclose(second);
    EXPECT_TRUE(testing::internal::RE::PartialMatch(
        secondLog, testing::internal::RE("^[0-9]{4}-[0-9]{2}-[0-9]{2} [ 0-9]{2}:[0-9]{2}:[0-9]{2}:[0-9]{3} "
                                         "\\[DATA\\] Skipping duplicate entry for .*/asset\\.bin\n$")))
        << secondLog;

    ASSERT_EQ(1, dataEntryCount());
    EXPECT_EQ(path, dataEntry(0)->name);
    EXPECT_EQ(int32_t(bytes.size()), dataEntry(0)->length);
    EXPECT_EQ(0, memcmp(bytes.data(), dataEntry(0)->data, bytes.size()));
}

TEST_F(DataLayer, RecordKeepsFirstOpenOrder) {
    const char* names[] = {"c.txt", "a.txt", "b.txt"};
    for (const char* n : names) testpaths::writeFile(dir + "/" + n, std::string("bytes of ") + n);
    setDataMode(Record);
    for (const char* n : names) fclose(dataOpen((dir + "/" + n).c_str(), "rb"));
    ASSERT_EQ(3, dataEntryCount());
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(dir + "/" + names[i], dataEntry(i)->name) << "entry " << i;
        EXPECT_EQ(std::string("bytes of ") + names[i],
                  std::string(reinterpret_cast<char*>(dataEntry(i)->data), size_t(dataEntry(i)->length)));
    }
    EXPECT_EQ(nullptr, dataEntry(3));
    EXPECT_EQ(nullptr, dataEntry(-1));
}

TEST_F(DataLayerDeathTest, RecordingAnEmptyFileIsFatal) {
    std::string path = dir + "/empty.txt";
    testpaths::writeFile(path, "");
    setDataMode(Record);
    EXPECT_EXIT(dataOpen(path.c_str(), "rb"), testing::ExitedWithCode(1),
                fatalBox("Tried to read 0 bytes from .*/empty\\.txt, got 0\n"));
}

TEST_F(DataLayer, DiskAndRecordGiveNullForMissingFilesSilently) {
    for (DataMode mode : {Disk, Record}) {
        setDataMode(mode);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        FILE* file = dataOpen((dir + "/missing.png").c_str(), "rb");
        std::string out = testing::internal::GetCapturedStdout();
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(nullptr, file) << "mode " << mode;
        EXPECT_EQ("", out + err) << "mode " << mode;
        EXPECT_EQ(0, dataEntryCount()) << "mode " << mode;
    }
}

TEST_F(DataLayer, DiskRecordsNothingAndSaysNothing) {
    std::string path = dir + "/shader.vert";
    testpaths::writeFile(path, "void main() {}\n");
    setDataMode(Disk);
    testing::internal::CaptureStdout();
    for (int i = 0; i < 2; ++i) {
        FILE* file = dataOpen(path.c_str(), "rt");
        ASSERT_NE(nullptr, file);
        EXPECT_EQ("void main() {}\n", readAll(file));
        fclose(file);
    }
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
    EXPECT_EQ(0, dataEntryCount());
}

TEST_F(DataLayer, StartupModeFollowsFestooneryData) {
    struct Case {
        const char* value;  // null: unset
        DataMode expected;
        bool logs;
    } cases[] = {
        {nullptr, Archive, false}, {"", Archive, false},      {"archive", Archive, false},
        {"disk", Disk, false},     {"record", Record, false}, {"Disk", Archive, true},
        {"bogus", Archive, true},  {"record ", Archive, true},
    };
    const char* saved = getenv("FESTOONERY_DATA");
    std::string savedValue = saved ? saved : "";
    for (const Case& c : cases) {
        if (c.value) setenv("FESTOONERY_DATA", c.value, 1);
        else unsetenv("FESTOONERY_DATA");
        setDataMode(c.expected == Disk ? Record : Disk);  // something else first
        testing::internal::CaptureStdout();
        selectStartupDataMode();
        std::string out = testing::internal::GetCapturedStdout();
        const char* shown = c.value ? c.value : "(unset)";
        EXPECT_EQ(c.expected, dataMode()) << shown;
        EXPECT_EQ(c.logs, out.find("Unknown FESTOONERY_DATA value '" + std::string(c.value ? c.value : "") +
                                   "'") != std::string::npos)
            << shown << ": " << out;
    }
    if (saved) setenv("FESTOONERY_DATA", savedValue.c_str(), 1);
    else unsetenv("FESTOONERY_DATA");
}

}  // namespace
