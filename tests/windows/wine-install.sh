# The installer under Wine (sourced by wine-test.sh): a silent install into a folder of our choosing,
# the installed game playing 600 frames as the native build does, a silent uninstall that leaves no
# file, Start-menu entry or registry key behind.

step_install() {
    local setup=$win/kirake-$version-setup.exe
    [ -f "$setup" ] || { fail "install: no $setup"; return; }
    local dir=$out/install target=$WINEPREFIX/drive_c/kirake-test
    mkdir -p "$dir"
    rm -rf "$target"
    local code=0
    wine "$setup" /S '/D=C:\kirake-test' >/dev/null 2>&1 || code=$?
    [ $code -eq 0 ] || { fail "install: the installer exited $code"; return; }
    local missing=
    for f in kirake.exe README.txt uninstall.exe data/data.txt data/scenes.txt tools/kirake-check.exe tools/kirake-song.exe \
             tools/kirake-sfx.exe; do
        [ -f "$target/$f" ] || missing="$missing $f"
    done
    [ -z "$missing" ] || { fail "install: not installed:$missing"; return; }
    local menu
    menu=$(find "$WINEPREFIX/drive_c/users" -name kirake.lnk 2>/dev/null | head -n 1)
    [ -n "$menu" ] || fail "install: no Start-menu entry"
    wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\kirake' >"$dir/reg.txt" 2>&1 ||
        fail "install: no uninstall entry in the registry"

    # The installed game finds its data beside itself (no --data).
    local keys=$dir/keys.txt
    for ((f = 30; f < 600; f += 6)); do echo "$f press z"; echo "$((f + 3)) press space"; done > "$keys"
    compare_installed "$target/kirake.exe" "$keys" "$dir"

    code=0
    wine "$target/uninstall.exe" /S >/dev/null 2>&1 || code=$?
    # The uninstaller copies itself away and returns at once: wait for it to finish.
    for i in $(seq 300); do [ -e "$target" ] || break; sleep 0.1; done
    local left=
    [ -e "$target" ] && left="$left $(cd "$target" && find . | tr '\n' ' ')"
    [ -n "$(find "$WINEPREFIX/drive_c/users" -name kirake.lnk 2>/dev/null)" ] && left="$left the Start-menu entry"
    wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\kirake' >/dev/null 2>&1 &&
        left="$left the registry key"
    [ -z "$left" ] && pass "install: silent install, the installed game as native, uninstall left nothing" ||
        fail "install: the uninstaller left:$left"
}

compare_installed() {  # EXE KEYS DIR
    local exe=$1 keys=$2 dir=$3
    mkdir -p "$dir/native" "$dir/wine"
    "$native/src/kirake" --headless --data "$data" --frames 600 --keys "$keys" --trace "$dir/native/trace.jsonl" \
        --capture 599 --capture-dir "$dir/native" 2>/dev/null || { fail "install: the native run"; return; }
    local code=0
    (cd "$dir" && wine "$exe" --headless --frames 600 --keys "$(w "$keys")" --trace "$(w "$dir/wine/trace.jsonl")" \
        --capture 599 --capture-dir "$(w "$dir/wine")" 2>"$dir/wine/err.txt") || code=$?
    [ $code -eq 0 ] || { fail "install: the installed game exited $code: $(head -c 300 "$dir/wine/err.txt")"; return; }
    cmp -s "$dir/native/trace.jsonl" "$dir/wine/trace.jsonl" || fail "install: the installed game's trace differs"
    cmp -s "$dir/native/frame-000599.png" "$dir/wine/frame-000599.png" || fail "install: its frame 599 differs"
}
