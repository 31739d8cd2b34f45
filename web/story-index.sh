#!/bin/sh
# story-index.sh DIR: writes DIR/index.json, the list of the story's files that the web page loads
# (?data=URL of DIR). Run it again after adding or removing files.
set -eu
dir=${1:?usage: story-index.sh DIR}
cd "$dir"
{
    printf '{"files": ['
    sep=
    find . -type f ! -name index.json ! -name index.json.new | sed 's|^\./||' | LC_ALL=C sort | while IFS= read -r name; do
        case $name in *[!A-Za-z0-9_./-]*) echo "story-index.sh: skipping $name (only letters, digits, _ . - /)" >&2; continue ;; esac
        printf '%s"%s"' "$sep" "$name"
        sep=', '
    done
    printf ']}\n'
} > index.json.new
mv index.json.new index.json
