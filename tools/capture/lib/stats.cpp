#include "stats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace offline {

double percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    double rank = std::ceil(p / 100.0 * double(values.size()));
    size_t index = rank < 1.0 ? 0 : size_t(rank) - 1;
    if (index >= values.size()) index = values.size() - 1;
    return values[index];
}

double median(std::vector<double> values) {
    if (values.empty()) return 0.0;
    size_t n = values.size();
    std::nth_element(values.begin(), values.begin() + n / 2, values.end());
    double upper = values[n / 2];
    if (n % 2 == 1) return upper;
    double lower = *std::max_element(values.begin(), values.begin() + n / 2);
    return (lower + upper) / 2.0;
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            default:
                if (c < 0x20) {
                    char escape[8];
                    snprintf(escape, sizeof escape, "\\u%04x", c);
                    out += escape;
                } else {
                    out += char(c);
                }
        }
    }
    return out + "\"";
}

}  // namespace offline
