#include "platform/audio/pipewire_reports.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

namespace {

using audio::PipeWireReports;

constexpr double kRate = 44100.0;
constexpr int64_t kQuantum = 1024;

// A graph cycle every quantum: at cycle k frame k*q begins to leave the sink and the
// stream's read index stands two quanta further. Each cycle's report is stamped a
// little later (mostly under a millisecond, now and then up to a cycle) and received
// 0.1 ms after its stamp. From cycle `slipAt` on the graph runs one quantum late.
struct Graph {
    int slipAt = 1 << 30;
    uint32_t seed = 7;

    double delay() {
        seed = seed * 1664525u + 1013904223u;
        double u = double(seed >> 8) / double(1 << 24);
        return u < 0.8 ? 0.0003 : u < 0.97 ? 0.001 + 0.004 * u : 0.020 * u;
    }
    double cycleTime(int k) const { return 10.0 + double(k + (k >= slipAt ? 1 : 0)) * kQuantum / kRate; }
};

// Milliseconds between when the reports say frame `leaving` left and when it did.
double errorMs(const Graph& g, int k, double now, double leftAgo, int64_t leaving) {
    double truth = g.cycleTime(k) + double(leaving - int64_t(k) * kQuantum) / kRate;
    return ((now - leftAgo) - truth) * 1000.0;
}

TEST(PipeWireReports, TheLeastDelayedReportPlacesTheSinkAndASlipIsFollowed) {
    struct Case {
        const char* name;
        int slipAt;
    } cases[] = {{"a steady graph", 1 << 30}, {"a graph that slips a quantum at cycle 200", 200}};
    for (const Case& c : cases) {
        Graph graph;
        graph.slipAt = c.slipAt;
        PipeWireReports reports(kRate);
        double worst = 0, worstBeforeSlip = 0;
        for (int k = 0; k < 400; ++k) {
            double stamp = graph.cycleTime(k) + graph.delay(), now = stamp + 0.0001;
            double leftAgo = 0;
            int64_t leaving = 0;
            bool observed = reports.observe(now, now - stamp, (k + 2) * kQuantum, 0, &leftAgo, &leaving);
            if (k == 0) {
                EXPECT_FALSE(observed) << c.name << ": the quantum is not known from one report";
                continue;
            }
            ASSERT_TRUE(observed) << c.name << " at cycle " << k;
            EXPECT_EQ(kQuantum, reports.quantum());
            double error = std::fabs(errorMs(graph, k, now, leftAgo, leaving));
            // A slip is seen only once kSlipReports reports all came late.
            if (k >= c.slipAt && k < c.slipAt + int(PipeWireReports::kSlipReports)) continue;
            if (k >= 10) worst = std::max(worst, error);
            if (k < c.slipAt) worstBeforeSlip = std::max(worstBeforeSlip, error);
        }
        EXPECT_LT(worst, 0.5) << c.name << ": worst error " << worst << " ms";
        EXPECT_LT(worstBeforeSlip, 0.5) << c.name;
    }
}

}  // namespace
