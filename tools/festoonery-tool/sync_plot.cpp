#include "sync_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "lib/image_io.h"
#include "tiny_font.h"
#include "util/music/midi.h"
#include "util/music/sync_values.h"

namespace tool {
namespace {

constexpr int kScale = 2;          // font pixels
constexpr int kTextHeight = 5 * kScale;
constexpr int kMargin = 10;
constexpr int kTitleHeight = 3 * kTextHeight;
constexpr int kLabelHeight = kTextHeight + 6;
constexpr int kRowHeight = 72;
constexpr int kRowGap = 10;
constexpr int kAxisHeight = 3 * kTextHeight;

const uint8_t kBackground[3] = {18, 20, 26};
const uint8_t kText[3] = {220, 222, 230};
const uint8_t kGrid[3] = {44, 48, 60};
const uint8_t kSection[3] = {230, 190, 70};
const uint8_t kPalette[][3] = {{90, 200, 250}, {250, 120, 150}, {140, 230, 120}, {200, 150, 250}, {250, 170, 90}};

struct Canvas {
    int width, height;
    std::vector<uint8_t> rgba;
    void set(int x, int y, const uint8_t c[3], float alpha = 1.0f) {
        if (x < 0 || y < 0 || x >= width || y >= height) return;
        uint8_t* p = &rgba[(size_t(y) * size_t(width) + size_t(x)) * 4];
        for (int i = 0; i < 3; ++i) p[i] = uint8_t(float(p[i]) * (1.0f - alpha) + float(c[i]) * alpha + 0.5f);
        p[3] = 255;
    }
    void vline(int x, int y0, int y1, const uint8_t c[3], float alpha = 1.0f) {
        for (int y = y0; y <= y1; ++y) set(x, y, c, alpha);
    }
    void hline(int x0, int x1, int y, const uint8_t c[3], float alpha = 1.0f) {
        for (int x = x0; x <= x1; ++x) set(x, y, c, alpha);
    }
};

// Beats between axis labels: the smallest power of two that leaves at most 16 of them.
float axisStep(float endBeat) {
    float step = 1.0f;
    while (endBeat / step > 16.0f) step *= 2.0f;
    return step;
}

std::string number(float value, const char* format) {
    char text[32];
    snprintf(text, sizeof text, format, double(value));
    return text;
}

}  // namespace

bool writeSyncPlot(const char* path, const MidiFile& midi, float endBeat, const std::vector<PlotSection>& sections,
                   int width, std::string* error) {
    struct Row {
        const MidiTrack* track;
        const Modulator* modulator;
    };
    std::vector<Row> rows;
    for (const MidiTrack& track : midi.tracks)
        for (const auto& m : track.modulators) rows.push_back({&track, m.get()});
    if (!(endBeat > 0.0f)) endBeat = 1.0f;

    Canvas canvas{width, kTitleHeight + int(rows.size()) * (kLabelHeight + kRowHeight + kRowGap) + kAxisHeight, {}};
    canvas.rgba.resize(size_t(canvas.width) * size_t(canvas.height) * 4);
    for (size_t i = 0; i < canvas.rgba.size(); i += 4) {
        canvas.rgba[i] = kBackground[0];
        canvas.rgba[i + 1] = kBackground[1];
        canvas.rgba[i + 2] = kBackground[2];
        canvas.rgba[i + 3] = 255;
    }
    const int x0 = kMargin, x1 = width - 1 - kMargin;
    auto beatAt = [&](int x) { return float(x - x0) / float(x1 - x0) * endBeat; };
    auto xOf = [&](float beat) { return x0 + int(std::lround(beat / endBeat * float(x1 - x0))); };
    const int plotBottom = canvas.height - kAxisHeight;

    // Beat grid and axis.
    float step = axisStep(endBeat);
    for (float beat = 0.0f; beat <= endBeat + 1e-3f; beat += step) {
        int x = xOf(beat);
        canvas.vline(x, kTitleHeight, plotBottom, kGrid);
        std::string label = number(beat, "%.0f");
        drawText(canvas.rgba.data(), width, canvas.height, std::min(x, x1 - textWidth(label, kScale)),
                 plotBottom + kTextHeight / 2, label, kScale, kText);
    }
    canvas.hline(x0, x1, plotBottom, kText);
    std::string axis = "BEATS (" + number(endBeat, "%.2f") + " AT THE END)";
    drawText(canvas.rgba.data(), width, canvas.height, x0, plotBottom + 2 * kTextHeight - 2, axis, 1, kText);

    // Rows: the value at every column, filled below its curve.
    for (size_t r = 0; r < rows.size(); ++r) {
        const Row& row = rows[r];
        const uint8_t* colour = kPalette[r % (sizeof kPalette / sizeof kPalette[0])];
        int top = kTitleHeight + int(r) * (kLabelHeight + kRowHeight + kRowGap);
        int plotTop = top + kLabelHeight, base = plotTop + kRowHeight - 1;
        std::vector<float> values;
        float peak = 0.0f;
        for (int x = x0; x <= x1; ++x) {
            float v = modulatorValueAt(*row.track, *row.modulator, beatAt(x));
            if (!std::isfinite(v)) v = 0.0f;
            values.push_back(v);
            peak = std::max(peak, v);
        }
        float scale = std::max(1.0f, peak);
        canvas.hline(x0, x1, base, kGrid);
        canvas.hline(x0, x1, plotTop, kGrid);
        int previous = base;
        for (int x = x0; x <= x1; ++x) {
            float v = std::max(0.0f, values[size_t(x - x0)]) / scale;
            int y = base - int(std::lround(v * float(kRowHeight - 1)));
            canvas.vline(x, y, base, colour, 0.35f);
            canvas.vline(x, std::min(y, previous), std::max(y, previous), colour);
            previous = y;
        }
        std::string label = (row.modulator->name.empty() ? std::string("(UNNAMED)") : row.modulator->name) +
                            " - TRACK " + (row.track->name ? row.track->name : "") + " - PEAK " +
                            number(peak, "%.2f") + (scale > 1.0f ? " (SCALED)" : "");
        drawText(canvas.rgba.data(), width, canvas.height, x0, top + 2, label, kScale, colour);
    }

    // Sections over everything.
    for (const PlotSection& s : sections) {
        if (s.startBeat < 0.0f || s.startBeat > endBeat) continue;
        int x = xOf(s.startBeat);
        canvas.vline(x, kTextHeight * 2, plotBottom, kSection, 0.8f);
        drawText(canvas.rgba.data(), width, canvas.height, x + 3, kTextHeight / 2, s.name, kScale, kSection);
    }

    return offline::writePng(path, canvas.width, canvas.height, canvas.rgba.data(), long(width) * 4, false, false, 6,
                             error);
}

}  // namespace tool
