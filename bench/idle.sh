#!/usr/bin/env bash
# The real window's cost while the story waits: the game in a 640x480 window on a private virtual X
# screen (software GL), started at the opening scene, whose first page is typed and then waits for a
# key. The CPU time of the whole process (every thread) over ten seconds of that wait, as a share of one
# core. Each build given is measured in turn, ROUNDS times, on the same screen.
#   bench/idle.sh [BUILD_DIR...]      (default: build; ROUNDS=3 in the environment to change the rounds)
set -euo pipefail
[ $# -gt 0 ] || set -- build
rounds=${ROUNDS:-3}
for build in "$@"; do
    [ -x "$build/src/kirake" ] || { echo "idle: build $build/src/kirake first" >&2; exit 2; }
done
command -v Xvfb >/dev/null || { echo "idle: Xvfb is not installed (./setup test installs it)" >&2; exit 2; }

work=$(mktemp -d)
trap 'kill "$server" 2>/dev/null || true; rm -rf "$work"' EXIT
Xvfb -displayfd 3 -nolisten tcp -screen 0 800x600x24 3>"$work/display" 2>/dev/null &
server=$!
for _ in $(seq 100); do grep -q . "$work/display" 2>/dev/null && break; sleep 0.1; done
export DISPLAY=:$(head -1 "$work/display")
ticks=$(getconf CLK_TCK)

cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

for round in $(seq "$rounds"); do
    for build in "$@"; do
        SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy} "$build/src/kirake" --window --pacing timer \
            --data "$build/gamedata" --start opening --frames 1800 >/dev/null 2>&1 &
        game=$!
        sleep 8  # start-up, the scene's fade and its first page typed
        before=$(cpu_ticks "$game")
        sleep 10
        after=$(cpu_ticks "$game")
        kill "$game" 2>/dev/null || true
        wait "$game" 2>/dev/null || true
        echo "$build round $round: $(awk -v t=$((after - before)) -v hz="$ticks" 'BEGIN { printf "%.1f", 100 * t / hz / 10 }')% of a core"
    done
done
