// The figures --stats prints at the end of a windowed run, the same for every backend.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// intervals: microseconds between presented frames; pacedBy: e.g. "the timer" or "vsync, 2 refreshes a
// frame"; pacingCpuMs: CPU the pacing itself took, in all.
void PrintPacingStats(long shown, const std::vector<int32_t>& intervals, const std::string& pacedBy,
                      double cpuSeconds, double wallSeconds, double pacingCpuMs);
