# The player's comforts under Wine (sourced by wine-test.sh), each against the native build on the same
# keys: a game left and continued; a settings file; the history overlay; the voice's lines. Native runs keep
# their files in folders of their own (XDG_CONFIG_HOME, XDG_STATE_HOME), kirake.exe in the prefix's
# %APPDATA%\kirake and %LOCALAPPDATA%\kirake, emptied before and after (no other step sees them).

step_comforts() {
    local dir=$out/comforts
    rm -rf "$dir"
    mkdir -p "$dir"
    forget_kept
    comforts_continue "$dir/continue" || true
    comforts_overlay "$dir/overlay" || true
    forget_kept
}

native_kept() {  # FOLDER kirake options...: the native game with its kept files in FOLDER/config, FOLDER/state
    local folder=$1
    shift
    XDG_CONFIG_HOME=$folder/config XDG_STATE_HOME=$folder/state "$native/src/kirake" --headless --data "$data" "$@"
}

wine_headless() {  # ERRORS kirake.exe options...
    local errors=$1
    shift
    wine "$exe" --headless --data "$(w "$data")" "$@" 2>"$errors"
}

# Left after the route's draw (frame 2252 on these keys) at LEFT, continued under Wine on another day to END:
# its frames LEFT..END-1 and the last page as those of the native game played without a break.
comforts_continue() {  # DIR
    local dir=$1 left=2400 end=2700
    mkdir -p "$dir/native" "$dir/wine"
    native_kept "$dir/native" --start roll --start-keys "$dir/keys.txt" --frames 1 2>/dev/null &&
        native_kept "$dir/native" --keys "$dir/keys.txt" --frames $end --trace "$dir/native/trace.jsonl" \
            --capture $((end - 1)) --capture-dir "$dir/native" 2>"$dir/native/err.txt" ||
        { fail "continue: the native run"; return 1; }
    [ -f "$dir/native/state/kirake/session" ] || fail "continue: the native game was not kept in XDG_STATE_HOME"
    wine_headless "$dir/wine/left.txt" --keys "$(w "$dir/keys.txt")" --frames $left ||
        { fail "continue: kirake.exe left at $left exited $?: $(head -c 300 "$dir/wine/left.txt")"; return 1; }
    [ -f "$kept_state/session" ] || { fail "continue: no session in %LOCALAPPDATA%\\kirake ($kept_state)"; return 1; }
    wine_headless "$dir/wine/err.txt" --keys "$(w "$dir/keys.txt")" --continue --epoch 1234567890 --frames $end \
        --trace "$(w "$dir/wine/trace.jsonl")" --capture $((end - 1)) --capture-dir "$(w "$dir/wine")" ||
        { fail "continue: kirake.exe --continue exited $?: $(head -c 300 "$dir/wine/err.txt")"; return 1; }
    local name
    name=$(printf 'frame-%06d.png' $((end - 1)))
    tail -n +$((left + 1)) "$dir/native/trace.jsonl" >"$dir/native/after.jsonl"
    if ! cmp -s "$dir/native/after.jsonl" "$dir/wine/trace.jsonl"; then
        fail "continue: frames $left-$((end - 1)) differ from the native game's: $(cmp "$dir/native/after.jsonl" "$dir/wine/trace.jsonl" 2>&1 | head -n 1); $(head -c 300 "$dir/wine/err.txt")"
    elif ! cmp -s "$dir/native/$name" "$dir/wine/$name"; then
        fail "continue: $name differs from the native game's"
    else
        pass "continue: left at $left under Wine (kept in %LOCALAPPDATA%\\kirake), continued on another day: frames $left-$((end - 1)) and $name as the native game without a break"
    fi
}

# One run with a settings file (text speed 4), self-voicing, and the history opened over the page: trace
# ("overlay" and "spoke" lines among it) and pages as native with the same file in XDG_CONFIG_HOME.
comforts_overlay() {  # DIR
    local dir=$1 settings=$kept_settings
    local keys=$dir/keys.txt
    mkdir -p "$dir/native/config/kirake" "$dir/plain" "$dir/wine" "$settings"
    { cat "$here/../keys-every-second.txt"; printf '700 press pageup\n740 press up\n760 press pagedown\n'; } >"$keys"
    printf 'text-speed = 4\n' | tee "$dir/native/config/kirake/settings" >"$settings/settings"
    local options=(--frames 900 --self-voicing --capture 750,899)
    native_kept "$dir/native" --keys "$keys" --trace "$dir/native/trace.jsonl" --capture-dir "$dir/native" \
        "${options[@]}" 2>"$dir/native/err.txt" &&
        native_kept "$dir/plain" --keys "$keys" --trace "$dir/plain/trace.jsonl" --frames 900 --self-voicing 2>/dev/null ||
        { fail "comforts: the native runs"; return 1; }
    cmp -s "$dir/native/trace.jsonl" "$dir/plain/trace.jsonl" && fail "comforts: the native settings file changed nothing"
    wine_headless "$dir/wine/err.txt" --keys "$(w "$keys")" --trace "$(w "$dir/wine/trace.jsonl")" \
        --capture-dir "$(w "$dir/wine")" "${options[@]}" ||
        { fail "comforts: kirake.exe exited $?: $(head -c 300 "$dir/wine/err.txt")"; return 1; }
    local overlay spoke
    overlay=$(grep -c '"overlay":"history"' "$dir/native/trace.jsonl" || true)
    spoke=$(grep -c '"spoke":' "$dir/native/trace.jsonl" || true)
    [ "$overlay" -gt 0 ] && [ "$spoke" -gt 0 ] || fail "comforts: the native trace has $overlay history and $spoke spoke lines"
    if ! cmp -s "$dir/native/trace.jsonl" "$dir/wine/trace.jsonl"; then
        fail "comforts: traces differ: $(cmp "$dir/native/trace.jsonl" "$dir/wine/trace.jsonl" 2>&1 | head -n 1)"
        return 1
    fi
    # The panel's lines are drawn in the glyph file's face on Windows, in the desktop's sans-serif natively.
    local differ
    differ=$(convert "$dir/native/frame-000750.png" "$dir/wine/frame-000750.png" -compose difference -composite \
        -threshold 0 -format '%[fx:round(mean*w*h)] pixels, all in %@' info: 2>/dev/null || echo "?")
    if cmp -s "$dir/native/frame-000899.png" "$dir/wine/frame-000899.png"; then
        pass "comforts: %APPDATA%\\kirake\\settings as XDG_CONFIG_HOME's, self-voicing and the history: 900 frames ($overlay under the history, $spoke spoke) and frame 899 as native; the history's page differs in $differ (the panel's lines)"
    else
        fail "comforts: frame 899 differs"
    fi
}
