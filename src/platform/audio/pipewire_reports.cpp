#include "platform/audio/pipewire_reports.h"

#include <algorithm>

namespace audio {

void PipeWireReports::reset() {
    origins_.clear();
    steps_.clear();
    lastTaken_ = -1;
}

int64_t PipeWireReports::quantum() const {
    int64_t best = 0;
    long bestCount = 0;
    for (int64_t step : steps_) {
        long count = std::count(steps_.begin(), steps_.end(), step);
        if (count > bestCount || (count == bestCount && step < best)) best = step, bestCount = count;
    }
    return best;
}

bool PipeWireReports::observe(double now, double age, int64_t taken, int64_t inSink, double* leftAgo,
                              int64_t* leaving) {
    if (age < 0.0) age = 0.0;
    if (lastTaken_ >= 0 && taken > lastTaken_) {
        steps_.push_back(taken - lastTaken_);
        if (steps_.size() > kWindow) steps_.erase(steps_.begin());
    }
    lastTaken_ = taken;
    origins_.push_back(now - age - double(taken) / rate_);
    if (origins_.size() > kWindow) origins_.erase(origins_.begin());
    const int64_t q = quantum();
    if (q == 0) return false;  // two unknown quanta would put the first beats 46 ms off

    double earliest = *std::min_element(origins_.begin(), origins_.end());
    if (origins_.size() > kSlipReports) {
        double recent = *std::min_element(origins_.end() - long(kSlipReports), origins_.end());
        // Every recent report half a quantum or more behind the earliest: the graph slipped.
        if (recent - earliest > 0.5 * double(q) / rate_) {
            origins_.erase(origins_.begin(), origins_.end() - long(kSlipReports));
            earliest = recent;
        }
    }
    *leaving = taken - inSink - 2 * q;
    *leftAgo = now - (earliest + double(taken) / rate_);
    return true;
}

}  // namespace audio
