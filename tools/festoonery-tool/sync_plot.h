// festoonery-tool sync --plot: a picture of every modulator's value over the beats of
// the music, one row each, with the beat axis and the sections marked.
#pragma once

#include <string>
#include <vector>

class MidiFile;

namespace tool {

struct PlotSection {
    std::string name;
    float startBeat;
};

// Writes a PNG of width pixels: per modulator of midi (tracks in file order) a row with
// its name, track and peak, its value (util/music/sync_values.h) sampled at every pixel
// column from beat 0 to endBeat, scaled to the row (to 1, or to the peak when that is
// higher); a line and the name at every section start; the beat axis below. False with
// a reason when the file cannot be written.
bool writeSyncPlot(const char* path, const MidiFile& midi, float endBeat, const std::vector<PlotSection>& sections,
                   int width, std::string* error);

}  // namespace tool
