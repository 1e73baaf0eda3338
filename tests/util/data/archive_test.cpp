#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/paths.h"
#include "util/data/data.h"
#include "util/data/huffman.h"

namespace {

namespace fs = std::filesystem;

const std::string kHeader("Morvaset Data File\0", 19);
const std::string kMagic("MVTDFC\0", 7);

std::string le32(uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = char(v >> (8 * i));
    return s;
}

// One chunk of the decompressed body, built by hand.
std::string chunk(const std::string& name, const std::string& data) {
    return kMagic + le32(uint32_t(name.size())) + le32(uint32_t(data.size())) + name + data;
}

std::string encodeBody(const std::string& stream) {
    const uint8_t* in = reinterpret_cast<const uint8_t*>(stream.data());
    std::string block(huffmanEncodedSize(in, stream.size()), '\0');
    block.resize(huffmanEncode(in, stream.size(), reinterpret_cast<uint8_t*>(&block[0])));
    return block;
}

std::string archiveOf(const std::string& stream, int major = 0, int minor = 2) {
    return kHeader + char(major) + char(minor) + encodeBody(stream);
}

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

std::string entryBytes(int i) {
    return std::string(reinterpret_cast<char*>(dataEntry(i)->data), size_t(dataEntry(i)->length));
}

std::vector<std::string> filesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class ArchiveFile : public testing::Test {
protected:
    void SetUp() override {
        dataClearEntries();
        setDataMode(Disk);
        dir = testpaths::freshScratchDir(std::string("archive_") +
                                         testing::UnitTest::GetInstance()->current_test_info()->name());
        path = dir + "/data.mvt";
        char here[4096];
        ASSERT_NE(nullptr, getcwd(here, sizeof here));
        savedCwd = here;
    }
    void TearDown() override {
        ASSERT_EQ(0, chdir(savedCwd.c_str()));
        dataClearEntries();
        setDataMode(Disk);
    }
    std::string dir, path, savedCwd;
};

using ArchiveFileDeathTest = ArchiveFile;

TEST_F(ArchiveFileDeathTest, DamagedArchivesEndWithTheirMessage) {
    const std::string good = chunk("data/common/a.txt", "alpha");
    const std::string goodBody = encodeBody(good);
    auto withBody = [](const std::string& body) { return kHeader + char(0) + char(2) + body; };
    auto patched = [&](size_t at, uint32_t v) {
        std::string body = goodBody;
        body.replace(at, 4, le32(v));
        return withBody(body);
    };
    struct Case {
        const char* name;
        std::string bytes;  // the file; "<none>" for no file at all
        std::string message;
    } cases[] = {
        {"missing file", "<none>", "Failed to open data file .*/data\\.mvt for reading\\.\\\\nNo such file or directory\\\\n\n"},
        {"empty file", "", "Negative or zero file length: 0\n"},
        {"cut inside the header", kHeader.substr(0, 10), "Failed to read header!\n"},
        {"other header", std::string("Morvaset Data Filf\0\0\2", 21) + goodBody,
         "Unrecognized datafile header: Morvaset Data Filf\n"},
        {"no major version", kHeader, "Failed to read major version!\n"},
        {"no minor version", kHeader + char(0), "Failed to read minor version!\n"},
        {"version 0.1", archiveOf(good, 0, 1), "Expected datafile format 0\\.2, got 0\\.1\\\\n\n"},
        {"version 1.2", archiveOf(good, 1, 2), "Expected datafile format 0\\.2, got 1\\.2\\\\n\n"},
        {"version 1.2 without body", kHeader + char(1) + char(2),
         "Expected datafile format 0\\.2, got 1\\.2\\\\n\n"},
        {"exactly 21 bytes", kHeader + char(0) + char(2), "Failed to read 0 bytes from .*/data\\.mvt\\.\n"},
        {"body shorter than a block header", withBody(std::string("HUFF\3\0\0\0\3", 9)),
         "Damaged datafile .*: the block of 9 bytes is shorter than its 16-byte header\\.\n"},
        {"symbol count 0", patched(4, 0), "Damaged datafile .*: its symbol count 0 is outside 1 to 256\\.\n"},
        {"symbol count 300", patched(4, 300), "Damaged datafile .*: its symbol count 300 is outside 1 to 256\\.\n"},
        {"table longer than the block", withBody(goodBody.substr(0, 40)),
         "Damaged datafile .*: the block of 40 bytes is too short for its table of [0-9]+ symbols and a bit stream\\.\n"},
        {"size the stream cannot hold", patched(8, 0xfffffff0u),
         "Damaged datafile .*: its uncompressed size of 4294967280 bytes cannot come from a bit stream of [0-9]+ bytes\\.\n"},
        {"stream ends early", patched(8, uint32_t(good.size()) + 30),
         "Damaged datafile .*: its bit stream ends after [0-9]+ of 67 bytes\\.\n"},
        {"bad first chunk magic", archiveOf(std::string("MVTDFX\0", 7) + good.substr(7)),
         "Unrecognized chunk header: MVTDFX\\. \\\\nRead 0 chunks, 0\\.0 MB before this\\\\n\n"},
        {"bad second chunk magic", archiveOf(good + "XVTDFC" + good.substr(6)),
         "Unrecognized chunk header: XVTDFC\\. \\\\nRead 1 chunks, 0\\.0 MB before this\\\\n\n"},
        {"name length missing", archiveOf(good + kMagic + "ab"), "Unexpected end of datafile!\n"},
        {"chunk size missing", archiveOf(good + kMagic + le32(3) + "ab"), "Unexpected end of datafile!\n"},
        {"zero-length name", archiveOf(chunk("", "data")), "Unexpected end of datafile!\n"},
        {"zero-length data", archiveOf(chunk("data/common/e.txt", "")), "Unexpected end of datafile!\n"},
        {"huge name length", archiveOf(kMagic + le32(0xffffffffu) + le32(5) + "name!data!"),
         "Unexpected end of datafile!\\\\nDamaged chunk header in datafile .*: chunk 1 claims a 4294967295-byte name and 5 data "
         "bytes, but only 10 bytes are left\\.\n"},
        {"huge chunk size", archiveOf(good + kMagic + le32(4) + le32(0x7ffffff0u) + "namedata"),
         "Unexpected end of datafile!\\\\nDamaged chunk header in datafile .*: chunk 2 claims a 4-byte name and 2147483632 data bytes, but only 8 bytes are left\\.\n"},
        {"data one byte short", archiveOf(good.substr(0, good.size() - 1)),
         "Unexpected end of datafile!\\\\nDamaged chunk header in datafile .*: chunk 1 claims a 17-byte name and 5 data bytes, but only 21 bytes are left\\.\n"},
    };
    for (const Case& c : cases) {
        fs::remove(path);
        if (c.bytes != "<none>") testpaths::writeFile(path, c.bytes);
        EXPECT_EXIT(readArchiveFile(path.c_str()), testing::ExitedWithCode(1), fatalBox(c.message))
            << c.name;
    }
}

TEST_F(ArchiveFile, ReadsEntriesInArchiveOrderWithTheirBytes) {
    std::string binary(3000, '\0');
    for (size_t i = 0; i < binary.size(); ++i) binary[i] = char(i * 7 + (i >> 5));
    const std::string stream = chunk("data/common/shaders/blur.frag", "void main(){}\n") +
                               chunk("data/common/images/x.png", binary) +
                               chunk("data/common/shaders/blur.frag", "again") + "MVTDF";  // short tail
    testpaths::writeFile(path, archiveOf(stream));
    testing::internal::CaptureStdout();
    readArchiveFile(path.c_str());
    std::string log = testing::internal::GetCapturedStdout();
    ASSERT_EQ(3, dataEntryCount());
    const char* names[] = {"data/common/shaders/blur.frag", "data/common/images/x.png",
                           "data/common/shaders/blur.frag"};
    const std::string bytes[] = {"void main(){}\n", binary, "again"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_STREQ(names[i], dataEntry(i)->name) << "entry " << i;
        EXPECT_EQ(bytes[i], entryBytes(i)) << "entry " << i;
    }
    std::string body = encodeBody(stream);
    std::string expected[] = {
        "Reading datafile " + path + "...\n",
        "Uncompressed_buffer_size is " + std::to_string(stream.size()) + " from " +
            std::to_string(body.size()) + "\n",
        "Done reading datafile " + path + ": 3 chunks, 0.0 MB\n",
    };
    size_t at = 0;
    for (const std::string& line : expected) {
        size_t found = log.find(line, at);
        EXPECT_NE(std::string::npos, found) << "missing in order: " << line << "log:\n" << log;
        if (found != std::string::npos) at = found + line.size();
    }
}

TEST_F(ArchiveFile, BodiesOfOneToSixBytesGiveNoEntries) {
    const char* streams[] = {"M", "MV", "MVT", "abcd", "MVTDF", "MVTDFC"};
    for (const char* s : streams) {
        dataClearEntries();
        testpaths::writeFile(path, archiveOf(s));
        testing::internal::CaptureStdout();
        readArchiveFile(path.c_str());
        std::string log = testing::internal::GetCapturedStdout();
        EXPECT_EQ(0, dataEntryCount()) << s;
        EXPECT_NE(std::string::npos, log.find("Done reading datafile " + path + ": 0 chunks, 0.0 MB\n"))
            << s << ": " << log;
    }
}

TEST_F(ArchiveFile, ReportsMegabytesOfTheDataBytes) {
    std::string big(3 * 1048576 + 1048576 / 2, 'z');
    big[0] = 'a';
    testpaths::writeFile(path, archiveOf(chunk("big.bin", big) + chunk("small.bin", "s")));
    testing::internal::CaptureStdout();
    readArchiveFile(path.c_str());
    std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(std::string::npos, log.find(": 2 chunks, 3.5 MB\n")) << log;
    EXPECT_EQ(big, entryBytes(0));
}

TEST_F(ArchiveFile, WriteProducesHeaderVersionAndTheEncodedChunkStream) {
    addEntry("data/common/fonts/a.ttf", std::string("\0\1\2font", 7));
    addEntry("data/common/music/Festoonery.xml", "<sync bpm=\"120\"/>");
    testing::internal::CaptureStdout();
    writeArchiveFile(path.c_str());
    std::string log = testing::internal::GetCapturedStdout();
    std::string stream = chunk("data/common/fonts/a.ttf", std::string("\0\1\2font", 7)) +
                         chunk("data/common/music/Festoonery.xml", "<sync bpm=\"120\"/>");
    std::string body = encodeBody(stream);
    EXPECT_EQ(kHeader + char(0) + char(2) + body, testpaths::readFile(path));
    EXPECT_EQ(std::vector<std::string>{"data.mvt"}, filesIn(dir)) << "no temporary file may remain";

    int original = int(stream.size()), compressed = int(body.size());
    char rate[64], sizes[3][64];
    snprintf(sizes[0], 64, " ..original file size:  %9i bytes\n", original);
    snprintf(sizes[1], 64, " ..compressed file size:%9i bytes\n", compressed);
    snprintf(sizes[2], 64, " ..lost in compression: %9i bytes\n", original - compressed);
    snprintf(rate, 64, " ..compression rate:      %7.2f %%\n",
             100.0 * (original - compressed) / double(original));
    std::string expected[] = {
        "Writing datafile " + path + ":\n",
        "..file: data/common/fonts/a.ttf, 7 bytes\n",
        "..file: data/common/music/Festoonery.xml, 17 bytes\n",
        "Done writing datafile \"" + path + "\" of 0.0MB!\n",
        sizes[0], sizes[1], sizes[2], rate,
    };
    size_t at = 0;
    for (const std::string& line : expected) {
        size_t found = log.find(line, at);
        EXPECT_NE(std::string::npos, found) << "missing in order: " << line << "log:\n" << log;
        if (found != std::string::npos) at = found + line.size();
    }
}

TEST_F(ArchiveFile, WriteThenReadGivesEveryEntryBack) {
    std::vector<std::pair<std::string, std::string>> files;
    for (int i = 0; i < 40; ++i) {
        std::string bytes(size_t(1 + i * i * 37), '\0');
        for (size_t k = 0; k < bytes.size(); ++k) bytes[k] = char((k * (i + 3)) ^ (k >> 3));
        files.push_back({"data/common/dir" + std::to_string(i % 4) + "/f" + std::to_string(i), bytes});
    }
    for (auto& f : files) addEntry(f.first, f.second);
    testing::internal::CaptureStdout();
    writeArchiveFile(path.c_str());
    dataClearEntries();
    readArchiveFile(path.c_str());
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(int(files.size()), dataEntryCount());
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(files[i].first, dataEntry(int(i))->name);
        EXPECT_EQ(files[i].second, entryBytes(int(i))) << files[i].first;
    }
}

TEST_F(ArchiveFileDeathTest, WritingAnEmptyListIsFatalAndCreatesNothing) {
    EXPECT_EXIT(writeArchiveFile(path.c_str()), testing::ExitedWithCode(1),
                fatalBox("Negative or zero file length: 0\n"));
    EXPECT_TRUE(filesIn(dir).empty());
}

TEST_F(ArchiveFileDeathTest, FailedWritesLeaveTheOldArchiveAndNoTemporaryFile) {
    const std::string old = archiveOf(chunk("old.txt", "old"));
    struct Case {
        const char* name;
        std::string target;  // written to
        std::string message;
        void (*prepare)();
    } cases[] = {
        {"empty entry", path, "Cannot store entry 1 \\(\"empty\\.txt\", 0 bytes\\): an archive entry needs "
                              "a name and at least one byte of data\\.\n",
         [] { addEntry("ok.txt", "ok"); addEntry("empty.txt", ""); }},
        {"nameless entry", path, "Cannot store entry 0 \\(\"\", 2 bytes\\)", [] { addEntry("", "ok"); }},
        // The rename over a folder fails after the whole temporary archive was written.
        {"target is a folder", dir + "/folder", "Failed to replace .*/folder with the new datafile: ",
         [] { addEntry("ok.txt", "ok"); }},
        {"folder missing", dir + "/none/data.mvt",
         "Failed to open data file .*/none/data\\.mvt for writing\\. Gimme permissions, bitch!\\\\nNo such file or "
         "directory\\\\n\n",
         [] { addEntry("ok.txt", "ok"); }},
    };
    for (const Case& c : cases) {
        dataClearEntries();
        testpaths::writeFile(path, old);
        fs::create_directories(dir + "/folder");
        c.prepare();
        EXPECT_EXIT(writeArchiveFile(c.target.c_str()), testing::ExitedWithCode(1), fatalBox(c.message))
            << c.name;
        EXPECT_EQ(old, testpaths::readFile(path)) << c.name;
        EXPECT_EQ((std::vector<std::string>{"data.mvt", "folder"}), filesIn(dir)) << c.name;
        EXPECT_TRUE(fs::is_empty(dir + "/folder")) << c.name;
    }
}

TEST_F(ArchiveFile, WriteKeepsALinkAndThePermissions) {
    fs::create_directories(dir + "/run");
    const std::string target = dir + "/shipped.mvt";
    for (mode_t mode : {0640, 0444}) {
        testpaths::writeFile(target, "old");
        ASSERT_EQ(0, chmod(target.c_str(), mode));
        fs::remove(dir + "/run/data.mvt");
        fs::create_symlink("../shipped.mvt", dir + "/run/data.mvt");
        dataClearEntries();
        addEntry("data/common/a.txt", "alpha");
        testing::internal::CaptureStdout();
        if (geteuid() == 0 || mode != 0444) writeArchiveFile((dir + "/run/data.mvt").c_str());
        testing::internal::GetCapturedStdout();
        EXPECT_TRUE(fs::is_symlink(dir + "/run/data.mvt")) << std::oct << mode;
        struct stat info;
        ASSERT_EQ(0, stat(target.c_str(), &info));
        EXPECT_EQ(mode, info.st_mode & 07777);
        if (geteuid() == 0 || mode != 0444) {
            EXPECT_EQ(archiveOf(chunk("data/common/a.txt", "alpha")), testpaths::readFile(target)) << std::oct << mode;
        }
        EXPECT_EQ((std::vector<std::string>{"run", "shipped.mvt"}), filesIn(dir));
    }
}

// A full disk, as a file-size limit: the chunk stream (900 bytes of every byte value)
// still fits, the archive beside the old one (its table alone is 1,296 bytes) does not.
TEST_F(ArchiveFileDeathTest, FullDiskLeavesTheOldArchive) {
    const std::string old = archiveOf(chunk("old.txt", "old"));
    testpaths::writeFile(path, old);
    std::string big(900, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = char(i * 131 + (i >> 3));
    addEntry("data/common/big.bin", big);
    auto writeWithLimit = [&] {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{1000, 1000};
        setrlimit(RLIMIT_FSIZE, &limit);
        writeArchiveFile(path.c_str());
    };
    EXPECT_EXIT(writeWithLimit(), testing::ExitedWithCode(1), fatalBox("Failed to write file contents!\\\\nFile too large\n"));
    EXPECT_EQ(old, testpaths::readFile(path));
    EXPECT_EQ(std::vector<std::string>{"data.mvt"}, filesIn(dir));
}

TEST_F(ArchiveFile, StartupOperationsActOnlyInTheirMode) {
    ASSERT_EQ(0, chdir(dir.c_str()));
    // No data.mvt here: reading in any mode but Archive must not even look for it.
    for (DataMode mode : {Disk, Record}) {
        setDataMode(mode);
        testing::internal::CaptureStdout();
        readDatafile();
        EXPECT_EQ("", testing::internal::GetCapturedStdout()) << "mode " << mode;
    }
    addEntry("data/common/a.txt", "alpha");
    for (DataMode mode : {Disk, Archive}) {
        setDataMode(mode);
        testing::internal::CaptureStdout();
        writeDatafile();
        EXPECT_EQ("", testing::internal::GetCapturedStdout()) << "mode " << mode;
        EXPECT_FALSE(fs::exists("data.mvt")) << "mode " << mode;
    }
    setDataMode(Record);
    testing::internal::CaptureStdout();
    writeDatafile();
    std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(std::string::npos, log.find("Writing datafile data.mvt:\n")) << log;
    EXPECT_EQ(archiveOf(chunk("data/common/a.txt", "alpha")), testpaths::readFile(dir + "/data.mvt"));

    dataClearEntries();
    setDataMode(Archive);
    testing::internal::CaptureStdout();
    readDatafile();
    log = testing::internal::GetCapturedStdout();
    EXPECT_NE(std::string::npos, log.find("Reading datafile data.mvt...\n")) << log;
    ASSERT_EQ(1, dataEntryCount());
    FILE* file = dataOpen("data/common/a.txt", "rb");
    ASSERT_NE(nullptr, file);
    char got[6] = {};
    EXPECT_EQ(5u, fread(got, 1, 5, file));
    EXPECT_STREQ("alpha", got);
    fclose(file);
}

TEST_F(ArchiveFileDeathTest, ArchiveModeWithoutAnArchiveIsFatal) {
    ASSERT_EQ(0, chdir(dir.c_str()));
    setDataMode(Archive);
    EXPECT_EXIT(readDatafile(), testing::ExitedWithCode(1),
                fatalBox("Failed to open data file data\\.mvt for reading\\.\\\\nNo such file or directory\\\\n\n"));
}

}  // namespace
