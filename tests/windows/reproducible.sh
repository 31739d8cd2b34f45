#!/usr/bin/env bash
# The Windows build is the same bytes from two clean copies of the sources built in two different
# folders: the programs, the zip and the installer.
# usage: tests/windows/reproducible.sh NATIVE_BUILD WORK_DIR
# (NATIVE_BUILD: the native build whose tools and data both builds take; WORK_DIR is emptied first.)
set -euo pipefail
native=$(realpath "$1")
mkdir -p "$2"
work=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
source=$(cd "$here/../.." && pwd)
rm -rf "$work/source" "$work/one" "$work/other"
start=$SECONDS
jobs=$(nproc 2>/dev/null || echo 2)
[ "$jobs" -gt 2 ] && jobs=2
# Both builds start from one clean copy of the sources, taken now (the files git tracks or would track).
bash "$source/packaging/build-deb" --copy "$source" "$work/source"
build() {  # build COPY
    mkdir -p "$1"
    tar -C "$work/source" -cf - . | tar -C "$1" -xf -
    cmake -S "$1" -B "$1/build-windows" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
        -DKIRAKE_NATIVE_BUILD="$native" -DKIRAKE_TESTS=OFF >"$1.log" 2>&1 &&
        cmake --build "$1/build-windows" -j"$jobs" >>"$1.log" 2>&1 || { echo "reproducible: the build in $1 failed (see $1.log)" >&2; exit 1; }
}
build "$work/one/kirake"
build "$work/other/folder/kirake"
one=$work/one/kirake/build-windows
other=$work/other/folder/kirake/build-windows
version=$(sed -n 's/^project(kirake VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")
stage=kirake-$version-windows-x64
differ=0 compared=
for file in "$stage.zip" "kirake-$version-setup.exe" "$stage/kirake.exe" "$stage/tools/kirake-check.exe" \
            "$stage/tools/kirake-song.exe" "$stage/tools/kirake-sfx.exe"; do
    if [ ! -f "$one/$file" ]; then
        echo "reproducible: $file was not made" >&2
        differ=1
    elif ! cmp -s "$one/$file" "$other/$file"; then
        echo "reproducible: $file differs: $(cmp "$one/$file" "$other/$file" | head -n 1)" >&2
        differ=1
    else
        compared="$compared ${file##*/}"
    fi
done
echo "reproducible: two clean builds in $((SECONDS - start)) s"
[ $differ -eq 0 ] || exit 1
echo "reproducible: the same bytes:$compared"
