# The installer under Wine (sourced by wine-test.sh): a silent install into a folder of our choosing,
# the installed game playing 600 frames as the native build does, started by name through PATH from
# another folder, its licences and its entry in "Apps"; a silent uninstall that keeps the files a player
# added to data\ and nothing else; an all-users install into Program Files; a reinstall elsewhere; the
# zip's licences.

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
             tools/kirake-sfx.exe $licences; do
        [ -f "$target/$f" ] || missing="$missing $f"
    done
    [ -z "$missing" ] || { fail "install: not installed:$missing"; return; }
    local menu
    menu=$(find "$WINEPREFIX/drive_c/users" -name kirake.lnk 2>/dev/null | head -n 1)
    [ -n "$menu" ] || fail "install: no Start-menu entry"
    wine reg query "HKCU\\$key" >"$dir/reg.txt" 2>&1 || fail "install: no uninstall entry in the registry"
    local value
    for value in EstimatedSize Publisher InstallLocation; do
        grep -q "^ *$value " "$dir/reg.txt" || fail "install: the uninstall entry has no $value"
    done

    # Started by name through PATH from another folder: the game finds its data beside its own file.
    mkdir -p "$dir/elsewhere"
    code=0
    (cd "$dir/elsewhere" && WINEPATH='C:\kirake-test' wine cmd /c kirake --headless --frames 3 \
        --trace "$(w "$dir/path-trace.jsonl")" >"$dir/path.txt" 2>&1) || code=$?
    if [ $code -eq 0 ] && [ "$(wc -l < "$dir/path-trace.jsonl" 2>/dev/null)" = 3 ]; then
        pass "install: started as kirake through PATH from another folder, it found its data"
    else
        fail "install: started through PATH from another folder it exited $code: $(tr -d '\r' < "$dir/path.txt" | head -c 300)"
    fi

    # The installed game finds its data beside itself (no --data).
    local keys=$dir/keys.txt
    for ((f = 30; f < 600; f += 6)); do echo "$f press z"; echo "$((f + 3)) press space"; done > "$keys"
    compare_installed "$target/kirake.exe" "$keys" "$dir"

    # A story the player added to data\ stays, and only it.
    mkdir -p "$target/data/mine"
    echo "tx0mine<!" >"$target/data/mine/data.txt"
    uninstall "$target"
    local left=
    if [ -d "$target" ]; then left=$(cd "$target" && find . -type f | sort | tr '\n' ' '); fi
    [ -n "$(find "$WINEPREFIX/drive_c/users" -name kirake.lnk 2>/dev/null)" ] && left="$left the Start-menu entry"
    wine reg query "HKCU\\$key" >/dev/null 2>&1 && left="$left the registry key"
    [ "$left" = "./data/mine/data.txt " ] &&
        pass "install: silent install, the installed game as native, its licences; uninstall kept only the player's data\\mine" ||
        fail "install: the uninstaller left:$left (only ./data/mine/data.txt should stay)"
    rm -rf "$target"

    install_all_users "$setup" "$dir"
    install_elsewhere "$setup"
    zip_licences
    check_story_glyphs
}

# The zip's kirake-check, started from another folder on the UTF-8 test story: the story's own glyph file
# is found in the story's folder, so that every character is drawn and no tool is advised.
check_story_glyphs() {
    local check=$win/kirake-$version-windows-x64/tools/kirake-check.exe dir=$out/install/elsewhere out_text code=0
    mkdir -p "$dir"
    out_text=$(cd "$dir" && wine "$check" "$(w "$native/tests/utf8-story")" 2>&1) || code=$?
    if [ $code -eq 0 ] && ! grep -q "glyph" <<<"$out_text"; then
        pass "kirake-check: the UTF-8 story checked from another folder, its glyphs.kfnt found in its folder"
    else
        fail "kirake-check on the UTF-8 story from another folder (exit $code): $(tr -d '\r' <<<"$out_text" | head -c 400)"
    fi
}

key='Software\Microsoft\Windows\CurrentVersion\Uninstall\kirake'
licences='LICENSE.txt LICENSES/MIT.txt LICENSES/CC-BY-4.0.txt LICENSES/windows-runtime-notices.txt LICENSES/IPA-1.txt'

# A silent uninstall: the uninstaller copies itself away and returns at once; it has finished when its
# own file is gone.
uninstall() {  # FOLDER [options]
    local folder=$1
    shift
    wine "$folder/uninstall.exe" /S "$@" >/dev/null 2>&1 || true
    for i in $(seq 300); do [ -e "$folder/uninstall.exe" ] || break; sleep 0.1; done
    sleep 0.3
}

# /AllUsers without /D: Program Files, the all-users entry and Start-menu shortcut, nothing in the user's
# own folders; a per-user install and uninstall beside it leave the all-users entry alone.
install_all_users() {  # SETUP DIR
    local setup=$1 dir=$2
    local everyone="$WINEPREFIX/drive_c/Program Files/kirake" menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/kirake.lnk"
    local mine=$WINEPREFIX/drive_c/kirake-mine
    rm -rf "$everyone" "$mine" "$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Programs/kirake"
    wine "$setup" /S /AllUsers >/dev/null 2>&1 || { fail "all users: the installer exited $?"; return; }
    local wrong=
    [ -f "$everyone/kirake.exe" ] || wrong="$wrong not in Program Files (kirake.exe in: $(cd "$WINEPREFIX/drive_c" && find . -name kirake.exe -not -path './windows/*' | tr '\n' ' '))"
    [ -f "$menu" ] || wrong="$wrong no all-users Start-menu entry"
    wine reg query "HKLM\\$key" /v InstallLocation 2>/dev/null | tr -d '\r' | grep -q 'C:\\Program Files\\kirake$' ||
        wrong="$wrong the all-users entry does not name Program Files"
    wine reg query "HKCU\\$key" >/dev/null 2>&1 && wrong="$wrong a per-user entry"
    [ -z "$wrong" ] || { fail "all users:$wrong"; return; }

    wine "$setup" /S '/D=C:\kirake-mine' >/dev/null 2>&1 || { fail "all users: the per-user installer beside it exited $?"; return; }
    uninstall "$mine"
    wine reg query "HKLM\\$key" >/dev/null 2>&1 || wrong="$wrong a per-user uninstall deleted the all-users entry"
    [ -f "$menu" ] || wrong="$wrong a per-user uninstall deleted the all-users shortcut"
    uninstall "$everyone" /AllUsers
    [ -e "$everyone" ] && wrong="$wrong the all-users uninstall left $everyone"
    wine reg query "HKLM\\$key" >/dev/null 2>&1 && wrong="$wrong the all-users uninstall left its entry"
    [ -z "$wrong" ] && pass "all users: Program Files, its entry and shortcut; a per-user copy beside it removed alone; uninstalled" ||
        fail "all users:$wrong"
    rm -rf "$everyone" "$mine"
}

# Installed again into another folder: the first copy is removed by its own uninstaller, one entry stays.
install_elsewhere() {  # SETUP
    local setup=$1 first=$WINEPREFIX/drive_c/kirake-first second=$WINEPREFIX/drive_c/kirake-second
    rm -rf "$first" "$second"
    wine "$setup" /S '/D=C:\kirake-first' >/dev/null 2>&1 && wine "$setup" /S '/D=C:\kirake-second' >/dev/null 2>&1 ||
        { fail "reinstall: an installer exited $?"; return; }
    local wrong=
    [ -f "$second/kirake.exe" ] || wrong="$wrong nothing in the second folder"
    [ -e "$first" ] && wrong="$wrong the first copy stayed ($(cd "$first" && find . -maxdepth 1 | sort | tr '\n' ' '))"
    wine reg query "HKCU\\$key" /v InstallLocation 2>/dev/null | tr -d '\r' | grep -q 'C:\\kirake-second$' ||
        wrong="$wrong the entry does not name the second folder"
    [ -z "$wrong" ] && pass "reinstall: into another folder, the first copy removed by its uninstaller, one entry" ||
        fail "reinstall:$wrong"
    [ -f "$second/uninstall.exe" ] && uninstall "$second"
    rm -rf "$first" "$second"
}

# The zip holds the licences.
zip_licences() {
    local zip=$win/kirake-$version-windows-x64.zip missing= f
    local listed
    listed=$(cmake -E tar tf "$zip" 2>/dev/null) || { fail "zip: cannot list $zip"; return; }
    for f in $licences; do
        grep -qx "kirake-$version-windows-x64/$f" <<<"$listed" || missing="$missing $f"
    done
    [ -z "$missing" ] && pass "zip: the licences are there ($licences)" || fail "zip: no$missing"
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
