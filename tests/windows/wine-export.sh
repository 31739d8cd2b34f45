# Sourced by wine-test.sh: the step "export". The guide's hello world exported by kirake-export as a
# Windows zip (the game of this Windows build, the story as its data): unpacked, its kirake.exe finds
# the story beside itself and plays the first ending as the native program plays the story folder: the
# trace and the pictures at a few frames byte for byte. Then the zip the installed Debian packages wrote
# (the package check keeps it in NATIVE/package-export), where that check ran: a project started by
# kirake-new, played as the native program plays it.
step_export() {
    step_export_guide
    local kept=$native/package-export
    [ -f "$kept/shared/story-windows.zip" ] || return 0
    local p=$out/package-export
    rm -rf "$p" && mkdir -p "$p/unpacked" "$p/native" "$p/wine"
    (cd "$p/unpacked" && cmake -E tar xf "$kept/shared/story-windows.zip") || { fail "export: the packages' zip does not unpack"; return; }
    local keys=$here/../../packaging/screenshots.keys code=0
    "$native/src/kirake" --headless --data "$kept/story" --keys "$keys" --frames 900 --trace "$p/native/trace.jsonl" \
        2>"$p/native/err.txt" || { fail "export: the native run of the packages' project exited $?"; return; }
    (cd "$p" && wine "$p/unpacked/story/kirake.exe" --headless --keys "$(w "$keys")" --frames 900 \
        --trace "$(w "$p/wine/trace.jsonl")" 2>"$p/wine/err.txt") || code=$?
    [ $code -eq 0 ] || { fail "export: the packages' zip's kirake.exe exited $code: $(head -c 300 "$p/wine/err.txt")"; return; }
    if cmp -s "$p/native/trace.jsonl" "$p/wine/trace.jsonl"; then
        pass "export: the zip kirake-export wrote from the installed packages plays its project as native (900 frames)"
    else
        fail "export: the packages' zip plays another game: $(cmp "$p/native/trace.jsonl" "$p/wine/trace.jsonl" | head -n 1)"
    fi
}

step_export_guide() {
    local e=$out/export stories=$here/../stories
    local story=$e/hello n=$e/native ww=$e/wine
    mkdir -p "$story/bmp" "$n" "$ww" "$e/unpacked"
    cp "$stories/hello/data.txt" "$stories/hello/scenes.txt" "$story/"
    cp "$native/gamedata/bmp/System.BMP" "$story/bmp/"
    "$native/tools/art/kirake-art" -I "$here/../../data/pictures" "$stories/hello/pictures/hello.pic" "$story/bmp/hello.BMP" >/dev/null ||
        { fail "export: kirake-art could not draw the hello world"; return; }
    "$native/tools/export/kirake-export" --only windows --windows-build "$win" "$story" "$e/shared" >"$e/export.txt" 2>&1 ||
        { fail "export: kirake-export exited $?: $(head -c 300 "$e/export.txt")"; return; }
    (cd "$e/unpacked" && cmake -E tar xf "$e/shared/hello-windows.zip") || { fail "export: the zip does not unpack"; return; }
    [ -f "$e/unpacked/hello/data/bmp/hello.BMP" ] && [ ! -e "$e/unpacked/hello/data/pictures" ] ||
        { fail "export: the zip's data/ is not the story's data"; return; }
    sed 's/#.*//' "$stories/hello/keys-tea.txt" >"$e/keys.txt"
    local shots=1,60,200,399
    "$native/src/kirake" --headless --data "$story" --keys "$e/keys.txt" --frames 400 --trace "$n/trace.jsonl" \
        --capture $shots --capture-dir "$n" 2>"$n/err.txt" || { fail "export: the native run exited $?"; return; }
    local code=0
    (cd "$e" && wine "$e/unpacked/hello/kirake.exe" --headless --keys "$(w "$e/keys.txt")" --frames 400 \
        --trace "$(w "$ww/trace.jsonl")" --capture $shots --capture-dir "$(w "$ww")" 2>"$ww/err.txt") || code=$?
    [ $code -eq 0 ] || { fail "export: the zip's kirake.exe exited $code: $(head -c 300 "$ww/err.txt")"; return; }
    local differ=0
    cmp -s "$n/trace.jsonl" "$ww/trace.jsonl" || { fail "export: traces differ: $(cmp "$n/trace.jsonl" "$ww/trace.jsonl" | head -n 1)"; differ=1; }
    for picture in "$n"/frame-*.png; do
        cmp -s "$picture" "$ww/$(basename "$picture")" || { fail "export: $(basename "$picture") differs"; differ=1; }
    done
    grep -q '"scene":"scenes.txt:' "$ww/trace.jsonl" || { fail "export: kirake.exe did not play the story's script"; differ=1; }
    [ $differ -eq 1 ] || pass "export: the zip's game plays the story as native: $(wc -l < "$n/trace.jsonl") frames, 4 pictures"
}
