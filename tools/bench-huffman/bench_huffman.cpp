// Encode and decode throughput of the archive's Huffman coder on a 4 MB mixed input
// like an asset tree: a third text (shaders, XML), a third PNG files, a third noise
// (compressed audio such as OGG is as good as random to a byte coder).
// Run: build/tools/bench-huffman/bench-huffman  (figures in MB/s, 1 MB = 2^20 bytes)
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "util/data/huffman.h"

namespace {

constexpr size_t kInputSize = 4 << 20;
constexpr size_t kPart = kInputSize / 3;

std::vector<uint8_t> textPart(std::mt19937& rng) {
    const char* words[] = {"uniform ", "sampler2D ", "vec4 ", "gl_FragColor", " = ", "texture2D(", ");\n",
                           "<controller name=\"", "\" track=\"", "\"/>\n", "void main() {\n", "}\n",
                           "float ", "beat", " * 0.25", "  "};
    std::vector<uint8_t> text;
    while (text.size() < kPart) {
        const char* w = words[rng() % (sizeof words / sizeof *words)];
        text.insert(text.end(), w, w + strlen(w));
    }
    text.resize(kPart);
    return text;
}

// The PNG files of the conformance suite, repeated; noise-like bytes if it is missing.
std::vector<uint8_t> pngPart(std::mt19937& rng) {
    std::vector<uint8_t> pngs;
    std::error_code ec;
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(FESTOONERY_PNG_DIR, ec))
        if (e.path().extension() == ".png") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (const auto& f : files) {
        FILE* in = fopen(f.c_str(), "rb");
        if (!in) continue;
        uint8_t buffer[65536];
        size_t got;
        while ((got = fread(buffer, 1, sizeof buffer, in)) > 0) pngs.insert(pngs.end(), buffer, buffer + got);
        fclose(in);
    }
    std::vector<uint8_t> part;
    if (pngs.empty()) {
        fprintf(stderr, "bench-huffman: no PNG files in %s, using skewed noise\n", FESTOONERY_PNG_DIR);
        std::geometric_distribution<int> skew(0.02);
        while (part.size() < kPart) part.push_back(uint8_t(skew(rng)));
    }
    while (part.size() < kPart) part.insert(part.end(), pngs.begin(), pngs.end());
    part.resize(kPart);
    return part;
}

const std::vector<uint8_t>& mixedInput() {
    static std::vector<uint8_t> input = [] {
        std::mt19937 rng(2026);
        std::vector<uint8_t> all = textPart(rng);
        std::vector<uint8_t> png = pngPart(rng);
        all.insert(all.end(), png.begin(), png.end());
        while (all.size() < kInputSize) all.push_back(uint8_t(rng()));
        return all;
    }();
    return input;
}

void setCounters(benchmark::State& state, size_t bytes, size_t blockSize) {
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
    state.counters["ratio_%"] = 100.0 * double(blockSize) / double(bytes);
}

void encode(benchmark::State& state) {
    const std::vector<uint8_t>& input = mixedInput();
    std::vector<uint8_t> block(huffmanEncodedSize(input.data(), input.size()));
    size_t size = 0;
    for (auto _ : state) {
        size = huffmanEncode(input.data(), input.size(), block.data());
        benchmark::DoNotOptimize(block.data());
    }
    setCounters(state, input.size(), size);
}

void encodeWithSizing(benchmark::State& state) {
    const std::vector<uint8_t>& input = mixedInput();
    std::vector<uint8_t> block(huffmanEncodedSize(input.data(), input.size()));
    size_t size = 0;
    for (auto _ : state) {
        size_t needed = huffmanEncodedSize(input.data(), input.size());
        benchmark::DoNotOptimize(needed);
        size = huffmanEncode(input.data(), input.size(), block.data());
        benchmark::DoNotOptimize(block.data());
    }
    setCounters(state, input.size(), size);
}

void decode(benchmark::State& state) {
    const std::vector<uint8_t>& input = mixedInput();
    std::vector<uint8_t> block(huffmanEncodedSize(input.data(), input.size()));
    size_t size = huffmanEncode(input.data(), input.size(), block.data());
    std::vector<uint8_t> out(input.size());
    for (auto _ : state) {
        size_t produced = huffmanDecode(block.data(), size, out.data(), out.size());
        if (produced != input.size() || out != input) state.SkipWithError("round trip failed");
        benchmark::DoNotOptimize(out.data());
    }
    setCounters(state, input.size(), size);
}

}  // namespace

BENCHMARK(encode)->Unit(benchmark::kMillisecond);
BENCHMARK(encodeWithSizing)->Unit(benchmark::kMillisecond);
BENCHMARK(decode)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
