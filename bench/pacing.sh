#!/usr/bin/env bash
# Frame pacing of the real backend: 10 s of game time (600 frames) in a window on a private virtual X
# screen, paced by the timer, with the figures --stats prints at the end (game frames per second, frame
# intervals, frames late, CPU time and the CPU spent waiting for deadlines).
#   bench/pacing.sh [BUILD_DIR] [extra kirake options]
set -euo pipefail
build=${1:-build}
[ $# -gt 0 ] && shift
kirake=$build/src/kirake
[ -x "$kirake" ] || { echo "pacing: build $kirake first" >&2; exit 2; }
command -v Xvfb >/dev/null || { echo "pacing: Xvfb is not installed (./setup test installs it)" >&2; exit 2; }

work=$(mktemp -d)
trap 'kill "$server" 2>/dev/null || true; rm -rf "$work"' EXIT
Xvfb -displayfd 3 -nolisten tcp -screen 0 800x600x24 3>"$work/display" 2>/dev/null &
server=$!
for _ in $(seq 100); do grep -q . "$work/display" 2>/dev/null && break; sleep 0.1; done
export DISPLAY=:$(head -1 "$work/display")
SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy} "$kirake" --window --pacing timer --stats --frames 600 "$@" 2>&1 |
    grep '^kirake: stats'
