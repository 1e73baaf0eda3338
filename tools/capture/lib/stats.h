// Per-frame cost figures of the benchmark: order statistics of frame times.
#pragma once

#include <string>
#include <vector>

namespace offline {

// The nearest-rank percentile (0 < p <= 100) of the values: the smallest value with at
// least p percent of all values at or below it. 0 for no values.
double percentile(std::vector<double> values, double p);
// The middle value, or the mean of the two middle values for an even count.
double median(std::vector<double> values);

// A JSON string literal of text (quotes, backslashes and control characters escaped).
std::string jsonString(const std::string& text);

}  // namespace offline
