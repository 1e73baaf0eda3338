// Replays saved fuzz inputs through a target as an ordinary test: every file of the
// folders given on the command line (missing folders are skipped) runs once. A crash
// or sanitizer report fails the test; an orderly refusal is a pass.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    size_t count = 0;
    for (int i = 1; i < argc; ++i) {
        std::filesystem::path dir(argv[i]);
        if (!std::filesystem::is_directory(dir)) continue;
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator(dir))
            if (entry.is_regular_file()) files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        for (const auto& file : files) {
            std::ifstream in(file, std::ios::binary);
            std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
            fprintf(stdout, "replay %s (%zu bytes)\n", file.string().c_str(), bytes.size());
            fflush(stdout);
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++count;
        }
    }
    fprintf(stdout, "replayed %zu inputs\n", count);
    return 0;
}
