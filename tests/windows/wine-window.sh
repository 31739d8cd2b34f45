# The real Win32 window under Wine on a private virtual X screen (sourced by wine-test.sh): full screen
# with --scale integer shows the still title at 2x centred on black, pixel for pixel as the headless
# capture; Alt+Enter leaves full screen and comes back; F12 writes the same PNG as the headless capture
# of its frame; Esc ends the game with status 0; with --self-voicing, SAPI's voice (a stub in Wine 8) neither
# hangs nor ends the game; a window made larger and smaller on the still title shows the right picture at
# once; without its data the game says so in a message box naming the folders it tried. Xvfb, xdotool,
# xwininfo and ImageMagick are needed.

step_window() {
    local tool
    for tool in Xvfb xdotool xwininfo import convert; do
        command -v $tool >/dev/null || { echo "windows test: skipped the window: no $tool"; return; }
    done
    local dir=$out/window
    mkdir -p "$dir"
    Xvfb -displayfd 3 -nolisten tcp -screen 0 1400x1100x24 3>"$dir/display" 2>/dev/null &
    local server=$! game=
    local i
    for i in $(seq 100); do grep -q . "$dir/display" 2>/dev/null && break; sleep 0.1; done
    local display=:$(head -n 1 "$dir/display")
    window_cleanup() {
        [ -n "$game" ] && kill "$game" 2>/dev/null
        kill "$server" 2>/dev/null
        wait "$server" 2>/dev/null || true
    }
    window_checks "$display" "$dir" || true
    window_resize "$dir" || true
    window_no_data "$dir" || true
    window_voice "$dir" || true
    window_cleanup
    unset DISPLAY
    wineserver -k >/dev/null 2>&1 || true
}

# The id of the game's window into `id`, waiting up to 20 s (1 if none came).
find_game_window() {
    local i
    for i in $(seq 200); do
        id=$(xdotool search --name '^kirake$' 2>/dev/null | head -n 1) && [ -n "$id" ] && return 0
        sleep 0.1
    done
    return 1
}
window_size() { xwininfo -id "$1" | awk '/Width:/ {w = $2} /Height:/ {h = $2} END {print w "x" h}'; }
trace_lines() { [ -f "$1" ] && wc -l < "$1" || echo 0; }
# Waits up to 60 s for the still title (frame 320 in the trace FILE); 1 if it did not come.
wait_for_title() {
    local i
    for i in $(seq 600); do [ "$(trace_lines "$1")" -ge 320 ] && return 0; sleep 0.1; done
    return 1
}

window_checks() {
    local display=$1 dir=$2
    export DISPLAY=$display
    wineserver -k >/dev/null 2>&1 || true  # Wine's desktop process starts anew on this screen
    forget_kept  # no game of an earlier run to continue
    wine "$exe" --data "$(w "$data")" --scale integer --frames 5000 --stats \
        --trace "$(w "$dir/trace.jsonl")" 2>"$dir/err.txt" &
    game=$!
    local id= i
    find_game_window || { fail "window: no window named kirake appeared"; return 1; }
    size() { window_size "$id"; }
    wait_for_title "$dir/trace.jsonl" ||
        { fail "window: the title did not come (trace: $(trace_lines "$dir/trace.jsonl") lines)"; return 1; }
    [ "$(size)" = 1400x1100 ] || fail "window: full screen is $(size), not the whole 1400x1100 screen"
    import -window root -depth 8 "rgb:$dir/shown.rgb"
    convert -size 1400x1100 -depth 8 "rgb:$dir/shown.rgb" "$win/window-fullscreen.png"

    xdotool windowactivate --sync "$id" 2>/dev/null || true
    xdotool key alt+Return
    for i in $(seq 50); do [ "$(size)" != 1400x1100 ] && break; sleep 0.1; done
    local windowed
    windowed=$(size)
    [ "$windowed" = 1280x960 ] || fail "window: Alt+Enter gave a $windowed window, not 1280x960 (the page at 2x)"
    sleep 0.5
    import -window "$id" "$win/window-windowed.png" 2>/dev/null || true
    xdotool key alt+Return
    for i in $(seq 50); do [ "$(size)" = 1400x1100 ] && break; sleep 0.1; done
    [ "$(size)" = 1400x1100 ] || fail "window: the second Alt+Enter gave $(size), not full screen"

    xdotool key F12
    for i in $(seq 100); do grep -q "screenshot of frame" "$dir/err.txt" && break; sleep 0.1; done
    local said frame saved
    said=$(grep "screenshot of frame" "$dir/err.txt" | head -n 1)
    [ -n "$said" ] || { fail "window: F12 saved nothing: $(cat "$dir/err.txt")"; return 1; }
    frame=$(echo "$said" | sed 's/.*screenshot of frame \([0-9]*\).*/\1/')
    saved=$(winepath -u "$(echo "$said" | sed 's/.* saved to //' | tr -d '\r')" 2>/dev/null)
    xdotool key Escape
    local code=0
    wait "$game" || code=$?
    game=
    [ $code -eq 0 ] || fail "window: Esc ended the game with status $code"

    # The headless captures of the still title and of the F12 frame.
    local captures=$dir/headless
    mkdir -p "$captures"
    "$native/src/kirake" --headless --data "$data" --frames $((frame + 1)) --capture "300,$frame" \
        --capture-dir "$captures" 2>/dev/null || { fail "window: the native headless run"; return 1; }
    local name
    name=$(printf 'frame-%06d.png' "$frame")
    cmp -s "$saved" "$captures/$name" || fail "window: F12's $saved is not the headless capture of frame $frame"
    convert "$captures/frame-000300.png" -filter point -resize 200% -background black -gravity center \
        -extent 1400x1100 -depth 8 "rgb:$dir/expected.rgb"
    if cmp -s "$dir/shown.rgb" "$dir/expected.rgb"; then
        pass "window: the title at 2x on black equals the headless capture; Alt+Enter ($windowed) and back; F12 of frame $frame as headless; Esc 0"
    else
        fail "window: the screen is not the headless title at 2x on black ($(cmp "$dir/shown.rgb" "$dir/expected.rgb" | head -n 1))"
    fi
    grep "stats:" "$dir/err.txt" | sed 's/^/windows test:   /' || true
}

# A short game with --self-voicing that ends by itself at --frames: Space at the title starts the first
# page, which is said through SAPI; what Wine's SAPI made of it is in its fixme lines.
window_voice() {
    local dir=$1/voice
    mkdir -p "$dir"
    forget_kept
    WINEDEBUG=-all,fixme+sapi wine "$exe" --data "$(w "$data")" --self-voicing --frames 420 \
        --trace "$(w "$dir/trace.jsonl")" 2>"$dir/err.txt" &
    game=$!
    local i id=
    for i in $(seq 300); do [ "$(wc -l 2>/dev/null < "$dir/trace.jsonl" || echo 0)" -ge 200 ] && break; sleep 0.1; done
    id=$(xdotool search --name '^kirake$' 2>/dev/null | head -n 1) || true
    [ -n "$id" ] || { fail "voice: no window"; return 1; }
    xdotool windowactivate --sync "$id" 2>/dev/null || true
    xdotool key space
    for i in $(seq 300); do kill -0 "$game" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$game" 2>/dev/null && { fail "voice: the game did not end at frame 420 (hung?)"; return 1; }
    local code=0
    wait "$game" || code=$?
    game=
    [ $code -eq 0 ] || { fail "voice: the game exited $code: $(grep -v sapi "$dir/err.txt" | head -c 300)"; return 1; }
    local spoke calls said
    spoke=$(grep -c '"spoke":' "$dir/trace.jsonl" || true)
    calls=$(grep -c 'spvoice_Speak' "$dir/err.txt" || true)
    said=$(grep -m 1 -o 'spvoice_Speak.*' "$dir/err.txt" | sed 's/^.*: //' || true)
    [ "$spoke" -gt 0 ] || { fail "voice: the trace says nothing was spoken"; return 1; }
    pass "voice: --self-voicing in the window: $spoke page(s) spoken, $calls SAPI Speak calls (Wine says: ${said:-nothing}), the game ended at frame 420 with 0"
}

# In a window on the still title (--scale integer): made as large as the screen, then smaller, the
# window shows the page at its new size and place within a few frames, pixel for pixel as the headless
# capture (the screen's expected picture from window_checks, then the page at 1x centred).
window_resize() {
    local dir=$1/resize
    mkdir -p "$dir"
    forget_kept
    wine "$exe" --data "$(w "$data")" --window --scale integer --frames 5000 --trace "$(w "$dir/trace.jsonl")" \
        2>"$dir/err.txt" &
    game=$!
    local id= i
    find_game_window || { fail "resize: no window"; return 1; }
    wait_for_title "$dir/trace.jsonl" || true
    local wrong= size shown scale width height
    for size in 1300x1000 900x700; do
        xdotool windowsize "$id" "${size%x*}" "${size#*x}"
        for i in $(seq 50); do [ "$(window_size "$id")" = "$size" ] && break; sleep 0.1; done
        shown=$(window_size "$id")
        sleep 0.2  # a few frames
        import -window "$id" -depth 8 "rgb:$dir/shown-$size.rgb" 2>/dev/null
        # The page at the largest whole multiple that fits, centred as the game centres it.
        width=${shown%x*} height=${shown#*x}
        scale=$((width / 640 < height / 480 ? width / 640 : height / 480))
        convert -size "$shown" xc:black \( "$1/headless/frame-000300.png" -filter point -resize $((scale * 100))% \) \
            -geometry "+$(((width - 640 * scale) / 2))+$(((height - 480 * scale) / 2))" -composite -depth 8 \
            "rgb:$dir/expected-$size.rgb"
        if ! cmp -s "$dir/shown-$size.rgb" "$dir/expected-$size.rgb"; then
            wrong="$wrong $size (shown $shown: $(cmp -l "$dir/shown-$size.rgb" "$dir/expected-$size.rgb" 2>/dev/null | wc -l) bytes differ)"
            convert -size "$shown" -depth 8 "rgb:$dir/shown-$size.rgb" "$win/window-resized-$size.png" 2>/dev/null || true
        fi
    done
    xdotool key --window "$id" Escape 2>/dev/null || true
    for i in $(seq 100); do kill -0 "$game" 2>/dev/null || break; sleep 0.1; done
    kill "$game" 2>/dev/null || true
    wait "$game" 2>/dev/null || true
    game=
    [ -z "$wrong" ] && pass "resize: the still title right at once in a window made larger (2x) and smaller (1x)" ||
        fail "resize: the still title is not the headless page after resizing to:$wrong (see $win/window-resized-*.png)"
}

# kirake.exe alone in a folder, started as a player would (no --headless): a message box says the data
# was not found and names the folders tried with Windows' separators; the standard error line too;
# OK ends the game with status 1.
window_no_data() {
    local dir=$1/no-data
    rm -rf "$dir"
    mkdir -p "$dir/game"
    cp "$exe" "$dir/game/kirake.exe"
    WINEDEBUG=-all,trace+msgbox wine "$dir/game/kirake.exe" 2>"$dir/err.txt" &
    game=$!
    local id= i
    for i in $(seq 100); do
        id=$(xdotool search --name '^kirake$' 2>/dev/null | head -n 1) && [ -n "$id" ] && break
        kill -0 "$game" 2>/dev/null || break
        sleep 0.1
    done
    [ -n "$id" ] && { xdotool windowactivate --sync "$id" 2>/dev/null || true; xdotool key --window "$id" Return 2>/dev/null || true; }
    for i in $(seq 100); do kill -0 "$game" 2>/dev/null || break; sleep 0.1; done
    kill "$game" 2>/dev/null || true
    local code=0
    wait "$game" || code=$?
    game=
    local folder wrong=
    folder=$(w "$dir/game")
    [ -n "$id" ] || wrong="$wrong no message box"
    [ $code -eq 1 ] || wrong="$wrong exit status $code"
    # The box's text as Wine's message box traces it (its backslashes doubled).
    local boxed="${folder//\\/\\\\}\\\\..\\\\gamedata"
    grep -qF "MSGBOX_OnInit L\"The game's data was not found. Looked in:\\n    $boxed\\n" "$dir/err.txt" ||
        wrong="$wrong the box does not name $folder\\..\\gamedata first ($(grep -a -o 'MSGBOX_OnInit.*' "$dir/err.txt" | head -c 200))"
    grep -qF "looked in $folder\\..\\gamedata, $folder\\gamedata, " "$dir/err.txt" ||
        wrong="$wrong the error line does not name $folder\\..\\gamedata with \\ alone ($(grep -a 'kirake:' "$dir/err.txt" | head -c 300))"
    [ -z "$wrong" ] && pass "no data: a message box, the folders tried written with \\, exit status 1" ||
        fail "no data:$wrong"
}
