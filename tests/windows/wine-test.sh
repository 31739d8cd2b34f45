#!/usr/bin/env bash
# The Windows build, tested under Wine with a private prefix and a null sound device:
#   1. whole playthroughs headless, and a UTF-8 story's first message: traces, captures and recorded sound
#      byte for byte as the native build's; the playthroughs, which play the default data's story script,
#      also as the native --builtin-story's (the trace but for where the story stands);
#   2. the player's comforts as native: a game left and continued, a settings file, the history, the voice;
#   3. the unit tests built for Windows (counts in the log);
#   4. the real Win32 window on a virtual X screen: the picture, Alt+Enter, F12, Esc, SAPI's voice;
#   5. the installer: silent install, the installed game equal to native and started through PATH, all-users
#      and per-user installs side by side, a reinstall elsewhere, silent uninstall keeping only the player's
#      own files; the licences in the install and the zip; the zip's kirake-check on a UTF-8 story;
#   6. a story exported by kirake-export as a Windows zip, played from the unpacked zip as native;
#   7. reproducible: two builds from two clean copies of the sources the same bytes (tests/windows/reproducible.sh).
# usage: tests/windows/wine-test.sh NATIVE_BUILD WINDOWS_BUILD [STEP...]
#        (steps: play comforts units window install export reproducible)
set -euo pipefail
native=$(realpath "$1")
win=$(realpath "$2")
shift 2
steps=${*:-play comforts units window install export reproducible}
here=$(cd "$(dirname "$0")" && pwd)
version=$(sed -n 's/^project(kirake VERSION \([0-9.]*\).*/\1/p' "$here/../../CMakeLists.txt")
out=$win/wine-test
rm -rf "$out"
mkdir -p "$out"
failures=0
# The native runs keep their settings and games in folders of this run's own.
export XDG_CONFIG_HOME=$out/native-home/config XDG_STATE_HOME=$out/native-home/state
fail() { echo "windows test: FAILED: $*" >&2; failures=$((failures + 1)); }
pass() { echo "windows test: ok: $*"; }

# The private prefix (made once, about 40 s) and a home whose ALSA default is a null device.
export WINEPREFIX=$win/wine/prefix HOME=$win/wine/home WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$HOME"
printf 'pcm.!default { type null }\nctl.!default { type hw card 0 }\n' > "$HOME/.asoundrc"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "windows test: making the Wine prefix $WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w  # the server wineboot started ends before ours starts
fi
wineserver -p 60 || true  # one server for all the runs below (one still running will do)
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
w() { winepath -w "$1" 2>/dev/null; }  # a Unix path as Windows sees it (Z:\...)
# What kirake.exe keeps between runs (%APPDATA%\kirake, %LOCALAPPDATA%\kirake): a step that starts the game
# as a player would forgets it first, so that the prefix's earlier runs change nothing.
kept_settings=$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/kirake
kept_state=$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/kirake
forget_kept() { rm -rf "$kept_settings" "$kept_state"; }

exe=$win/src/kirake.exe
data=$native/gamedata

# The key scripts of three whole playthroughs, as the native story tests play them.
play_scripts() {
    local tmp=$out/native-tests plan
    mkdir -p "$tmp"
    # One process a plan, each with a state folder of its own (as ctest runs them): a game kept by the
    # plan before would be offered at the in-process player's start, which waits for the answer.
    for plan in hiyori_match heren_miss fuuya_match; do
        TMPDIR=$tmp XDG_STATE_HOME=$tmp/state-$plan "$native/tests/kirake_tests" \
            --gtest_filter="AllRoutes/StoryPlaythrough.PlaysTheDefaultDataToTheEnd/$plan" \
            >>"$out/native-tests.log" 2>&1 || { fail "the native story test $plan (see $out/native-tests.log)"; return 1; }
        local script
        script=$(find "$tmp" -path "*story-default-$plan/keys.txt" | head -n 1)
        [ -n "$script" ] || { fail "no key script of $plan"; return 1; }
        cp "$script" "$out/$plan.keys"
    done
}

captures=0-20,100,300,600,1000,1500,2000,2500,3000,3500,4000,4300

# The same run natively and under Wine (Windows paths, drive letters): every output byte for byte.
compare_run() {  # NAME KEYS EXE_UNDER_WINE [extra options]
    local name=$1 keys=$2 wexe=$3
    shift 3
    local n=$out/$name/native ww=$out/$name/wine
    mkdir -p "$n" "$ww"
    "$native/src/kirake" --headless --data "$data" --keys "$keys" --trace "$n/trace.jsonl" \
        --capture $captures --capture-dir "$n" --record-audio "$n/sound.wav" "$@" 2>"$n/err.txt" ||
        { fail "$name: the native run exited $?"; return; }
    local code=0
    wine "$wexe" --headless --data "$(w "$data")" --keys "$(w "$keys")" --trace "$(w "$ww/trace.jsonl")" \
        --capture $captures --capture-dir "$(w "$ww")" --record-audio "$(w "$ww/sound.wav")" "$@" \
        2>"$ww/err.txt" || code=$?
    [ $code -eq 0 ] || { fail "$name: kirake.exe exited $code: $(head -c 300 "$ww/err.txt")"; return; }
    if grep -q $'\r' "$ww/trace.jsonl"; then fail "$name: the trace has CR bytes"; return; fi
    local frames differ=0
    frames=$(wc -l < "$n/trace.jsonl")
    cmp -s "$n/trace.jsonl" "$ww/trace.jsonl" || { fail "$name: traces differ: $(cmp "$n/trace.jsonl" "$ww/trace.jsonl" | head -n 1)"; differ=1; }
    cmp -s "$n/sound.wav" "$ww/sound.wav" || { fail "$name: recorded sound differs"; differ=1; }
    local pictures=0
    for picture in "$n"/frame-*.png; do
        pictures=$((pictures + 1))
        cmp -s "$picture" "$ww/$(basename "$picture")" || { fail "$name: $(basename "$picture") differs"; differ=1; }
    done
    if [ $differ -eq 0 ]; then pass "$name: $frames frames, $pictures captures and $(stat -c %s "$n/sound.wav") bytes of sound as native"; fi
}

# A trace without the fields that say where the story stands: the built-in scenes' "chapter" and "step"
# (after "frame"), "firstAnswer" and "goodEnding" (after "pressed"); a story script's "scene" and "vars".
without_story_position() {
    sed -E -e 's/^(\{"frame":[0-9]+,)("chapter":-?[0-9]+,"step":-?[0-9]+,|"scene":"[^"]*",)/\1/' \
           -e 's/("pressed":[0-9]+,)("firstAnswer":-?[0-9]+,"goodEnding":-?[0-9]+,|"vars":\{[^}]*\},)/\1/' "$1"
}

# After compare_run NAME: kirake.exe, which played the default data's story script, against the native
# built-in story on the same keys: the trace but for where the story stands, the captures and the sound.
compare_builtin() {  # NAME KEYS
    local name=$1 keys=$2
    local b=$out/$name/builtin ww=$out/$name/wine
    [ -f "$ww/trace.jsonl" ] || return 0
    mkdir -p "$b"
    "$native/src/kirake" --headless --data "$data" --builtin-story --keys "$keys" --trace "$b/trace.jsonl" \
        --capture $captures --capture-dir "$b" --record-audio "$b/sound.wav" 2>"$b/err.txt" ||
        { fail "$name: the native built-in story exited $?"; return; }
    grep -q '^{"frame":0,"scene":' "$ww/trace.jsonl" || { fail "$name: kirake.exe did not play the story script"; return; }
    without_story_position "$b/trace.jsonl" >"$b/trace-unplaced.jsonl"
    without_story_position "$ww/trace.jsonl" >"$ww/trace-unplaced.jsonl"
    local differ=0 pictures=0
    cmp -s "$b/trace-unplaced.jsonl" "$ww/trace-unplaced.jsonl" ||
        { fail "$name: the script's trace differs from the built-in story's: $(cmp "$b/trace-unplaced.jsonl" "$ww/trace-unplaced.jsonl" | head -n 1)"; differ=1; }
    cmp -s "$b/sound.wav" "$ww/sound.wav" || { fail "$name: the script's sound differs from the built-in story's"; differ=1; }
    for picture in "$b"/frame-*.png; do
        pictures=$((pictures + 1))
        cmp -s "$picture" "$ww/$(basename "$picture")" || { fail "$name: $(basename "$picture") differs from the built-in story's"; differ=1; }
    done
    if [ $differ -eq 0 ]; then pass "$name: the story script under Wine as the native built-in story: $(wc -l < "$b/trace.jsonl") frames, $pictures captures, the sound"; fi
}

step_play() {
    play_scripts || return 0
    for plan in hiyori_match heren_miss fuuya_match; do
        compare_run "$plan" "$out/$plan.keys" "$exe"
        compare_builtin "$plan" "$out/$plan.keys"
    done
    # The UTF-8 test story, its glyphs baked in its folder: a route's first message typed out.
    : >"$out/none.keys"
    data=$native/tests/utf8-story compare_run utf8-story "$out/none.keys" "$exe" --start route:hiyori --frames 140
}

step_units() {
    local tests=$win/kirake_tests.exe
    if ! grep -q '^kirake_tests:' "$win/Makefile" 2>/dev/null; then
        echo "windows test: skipped the unit tests: not built for Windows (cmake/windows-tests.cmake says why)"
        return
    fi
    cmake --build "$win" --target kirake_tests -j"$(nproc)" >"$out/units-build.log" 2>&1 ||
        { fail "the unit tests do not build for Windows (see $out/units-build.log)"; return; }
    local log=$out/units.log code=0
    mkdir -p "$out/units-tmp"
    # Left out, and named in the log: what differs on Windows by design (drives are roots that exist
    # here; 4 of the 8 programs are built; the glyph file holds only the game's own faces and sizes).
    local different=PlatformPaths.DrivesAndSharesAreRootsAndAreNeverLookedForHere:ToolHelp.EveryProgramAnswersHelpAndVersion:TextDraw.HeavyWeightIsEmboldenedAndDrawingsRepeatExactly:TextDraw.OtherFacesAndSizesStillDraw
    echo "windows test: unit tests left out, different by design: ${different//:/ }"
    (cd "$win" && TMPDIR=$out/units-tmp wine "$tests" --gtest_color=no --gtest_filter="-$different") \
        >"$log" 2>&1 || code=$?
    local passed skipped failed
    passed=$(tr -d '\r' < "$log" | sed -n 's/^\[  PASSED  \] \([0-9]*\) test.*/\1/p' | tail -n 1)
    skipped=$(tr -d '\r' < "$log" | sed -n 's/^\[  SKIPPED \] \([0-9]*\) test.*/\1/p' | tail -n 1)
    failed=$(tr -d '\r' < "$log" | sed -n 's/^\[  FAILED  \] \([0-9]*\) test.*/\1/p' | tail -n 1)
    echo "windows test: unit tests under Wine: ${passed:-0} passed, ${skipped:-0} skipped, ${failed:-0} failed (log: $log)"
    grep -a '^\[  SKIPPED \] [A-Za-z].*ms)' "$log" | tr -d '\r' | sed 's/^/windows test:   skipped: /' || true
    grep -a '^\[  FAILED  \] [A-Za-z].*ms)' "$log" | tr -d '\r' | sed 's/^/windows test:   failed: /' || true
    [ $code -eq 0 ] || fail "the unit tests under Wine (exit $code)"
}

step_reproducible() {
    local log=$out/reproducible.log
    if bash "$here/reproducible.sh" "$native" "$win/reproducible" >"$log" 2>&1; then
        pass "$(tail -n 1 "$log" | sed 's/^reproducible: //') ($(grep -o 'two clean builds in [0-9]* s' "$log"))"
        rm -rf "$win/reproducible"
    else
        fail "reproducible: $(grep -v '^reproducible: two clean' "$log" | tail -n 5 | tr '\n' ' ')"
    fi
}

source "$here/wine-comforts.sh"
source "$here/wine-window.sh"
source "$here/wine-install.sh"
source "$here/wine-export.sh"

for step in $steps; do
    start=$SECONDS
    "step_$step"
    echo "windows test: step $step took $((SECONDS - start)) s"
done
if [ $failures -gt 0 ]; then
    echo "windows test: $failures failed" >&2
    exit 1
fi
echo "windows test: all passed"
