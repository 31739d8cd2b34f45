// The SDL backend's frame pacing: one game frame every `refreshes` refreshes by vsync once the display's
// rate has been measured to agree, else the timer (its grid in pacing.h); and the figures --stats prints.
#include <sys/resource.h>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>
#include "platform/core/pacing_stats.h"
#include "platform/sdl/pacing.h"
#include "platform/sdl/sdl.h"

namespace {
int64_t ThreadCpuNs() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return int64_t(t.tv_sec) * SECOND_NS + t.tv_nsec;
}


}  // namespace

void SdlPrintStats() {
    const Pacing& p = sdl.pacing;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    double cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    std::string pacedBy = p.vsync ? "vsync" : "the timer";
    if (p.vsync && p.refreshes > 1) pacedBy += ", " + std::to_string(p.refreshes) + " refreshes a frame";
    PrintPacingStats(PlatformFrameNumber(), p.intervals, pacedBy, cpu, double(NowNs() - sdl.startNs) / 1e9,
                     double(p.pacingCpuNs) / 1e6);
}


// Picks the pacing for a display that claims `hz`: vsync (to be checked) at a whole multiple of 60 Hz.
void SdlChoosePacing(int hz) {
    sdl.pacing = Pacing{};
    sdl.pacing.claimedHz = hz;
    for (int n = 1; n <= 4; ++n) {
        if (hz > 0 && std::abs(hz - 60 * n) * 200 <= 60 * n) {  // within 0.5 %
            sdl.pacing.vsync = true;
            sdl.pacing.refreshes = n;
        }
    }
    if (sdl.options.pacing == "vsync" && !sdl.pacing.vsync) {  // try it as on a 60 Hz display (still checked)
        sdl.pacing.vsync = true;
        sdl.pacing.refreshes = 1;
    }
    if (sdl.options.pacing == "timer") sdl.pacing.vsync = false;
}

namespace {
// Vsync is kept only when the refreshes measured over the first frames match the claimed rate.
void CheckVsync(int64_t interval) {
    Pacing& p = sdl.pacing;
    if (p.checked || !p.vsync) return;
    if (PlatformFrameNumber() < 10) return;  // start-up loads pictures and songs between frames
    p.checkIntervals.push_back(interval);
    if (p.checkIntervals.size() < 60) return;
    p.checked = true;
    std::nth_element(p.checkIntervals.begin(), p.checkIntervals.begin() + 30, p.checkIntervals.end());
    double measured = double(p.checkIntervals[30]) / p.refreshes;  // ns per refresh
    double claimed = double(SECOND_NS) / (60.0 * p.refreshes);
    bool agrees = std::abs(measured - claimed) <= claimed * 0.005;
    if (sdl.options.verbose)
        std::fprintf(stderr, "sdl: refresh measured %.3f Hz, claimed %d Hz: paced by %s\n", 1e9 / measured,
                     p.claimedHz, agrees ? "vsync" : "the timer");
    if (!agrees) {
        SDL_RenderSetVSync(sdl.renderer, 0);
        p.vsync = false;
        p.base = 0;
    }
}

// Waits for the deadline of the next game frame: a sleep to within 0.1 ms, then a short spin.
void WaitForDeadline() {
    Pacing& p = sdl.pacing;
    int64_t now = NowNs();
    int64_t deadline = NextFrameDeadline(&p.base, &p.count, now, SECOND_NS);  // a late frame slips a tick
    int64_t cpuBefore = ThreadCpuNs();
    if (deadline - now > 100000) {
        int64_t wake = deadline - 100000;
        timespec until{time_t(wake / SECOND_NS), long(wake % SECOND_NS)};
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
        }
    }
    while (NowNs() < deadline) {
    }
    p.pacingCpuNs += ThreadCpuNs() - cpuBefore;
}

}  // namespace

void SdlPaceFrame(bool draw) {
    Pacing& p = sdl.pacing;
    if (p.vsync) {  // every refresh shows the frame (none longer than another), and presenting waits for it
        for (int i = 0; i < p.refreshes; ++i) SdlDraw();
    } else {
        if (draw) SdlDraw();
        WaitForDeadline();
    }
    int64_t now = NowNs();
    if (p.lastPresent && !p.resumed) {
        int64_t interval = now - p.lastPresent;
        CheckVsync(interval);
        if (sdl.options.stats) p.intervals.push_back(int32_t(std::min<int64_t>(interval / 1000, INT32_MAX)));
    }
    p.resumed = false;
    p.lastPresent = now;
}
