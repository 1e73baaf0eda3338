// PipeWire's PulseAudio service, read right. It takes a stream's timing figures at its
// last graph cycle, stamps the reply when it sends it (up to a cycle later), and leaves
// out of the latency the two quanta it has taken from the stream but the sink has not
// begun to play: the one the sink plays in this cycle was taken in the cycle before, and
// the one taken now is played in the next. Taken as PulseAudio's, its reports put the
// stream 5 to 50 ms ahead of what the sink plays.
//
// So the least delayed of the recent reports stands for the cycle's time, and the frame
// leaving the sink then is the read index less two quanta (the read index moves by whole
// quanta: its most frequent step). When the graph slips (a cycle run late moves every
// later cycle), the recent reports all come later than the least delayed one of before:
// the window starts again from them, so a slip is followed within kSlipReports reports
// instead of holding the old time for the whole window.
//
// Pure: times are seconds on one monotonic clock, positions frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace audio {

class PipeWireReports {
public:
    explicit PipeWireReports(double framesPerSecond = 44100.0) : rate_(framesPerSecond) {}

    void reset();

    // A report received at `now`, stamped `age` seconds before, with `taken` frames read
    // from the stream and `inSink` reported as still in the sink. True with what the
    // output observes: frame *leaving was leaving the sink *leftAgo seconds before `now`.
    // False while the quantum is not known yet (the first report).
    bool observe(double now, double age, int64_t taken, int64_t inSink, double* leftAgo, int64_t* leaving);

    // The step of the read index seen most often in the window: the graph's quantum; 0
    // before a step was seen.
    int64_t quantum() const;

    static constexpr size_t kWindow = 48;      // about a second of reports
    static constexpr size_t kSlipReports = 8;  // about 0.2 s

private:
    double rate_;
    std::vector<double> origins_;  // oldest first: when frame 0 would have left, by each report
    std::vector<int64_t> steps_;   // oldest first
    int64_t lastTaken_ = -1;
};

}  // namespace audio
