#include "platform/core/pacing_stats.h"

#include <algorithm>
#include <cstdio>

namespace {
int64_t Percentile(std::vector<int32_t> values, double fraction) {
    if (values.empty()) return 0;
    size_t at = std::min(values.size() - 1, size_t(fraction * double(values.size())));
    std::nth_element(values.begin(), values.begin() + long(at), values.end());
    return values[at];
}
}  // namespace

void PrintPacingStats(long shown, const std::vector<int32_t>& intervals, const std::string& pacedBy,
                      double cpuSeconds, double wallSeconds, double pacingCpuMs) {
    int64_t total = 0;
    int late = 0;
    for (int32_t interval : intervals) {
        total += interval;
        if (interval > 25000) ++late;  // shown for longer than one and a half frames
    }
    double fps = total > 0 ? double(intervals.size()) * 1e6 / double(total) : 0.0;
    std::fprintf(stderr,
                 "kirake: stats: %ld frames shown, %.3f game frames per second (paced by %s)\n"
                 "kirake: stats: frame interval 50th %.2f ms, 99th %.2f ms, max %.2f ms; %d frames late\n"
                 "kirake: stats: CPU %.2f s in %.2f s (%.1f%% of a core); pacing %.3f ms of CPU per frame\n",
                 shown, fps, pacedBy.c_str(), double(Percentile(intervals, 0.5)) / 1000,
                 double(Percentile(intervals, 0.99)) / 1000,
                 intervals.empty() ? 0.0 : double(*std::max_element(intervals.begin(), intervals.end())) / 1000, late,
                 cpuSeconds, wallSeconds, wallSeconds > 0 ? 100 * cpuSeconds / wallSeconds : 0.0,
                 shown > 0 ? pacingCpuMs / double(shown) : 0.0);
}
