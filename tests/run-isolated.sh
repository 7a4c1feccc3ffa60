#!/bin/sh
# Every test program gets its own program folder and home, so no test sees
# another's settings, database or lock file, and no window ever reaches a screen.
set -e
dir=$(mktemp -d "${TMPDIR:-/tmp}/trapezon-test.XXXXXX")
trap 'rm -rf "$dir"' EXIT
mkdir -p "$dir/home" "$dir/runtime"
chmod 700 "$dir/runtime"
export TRAPEZON_HOME="$dir/home" HOME="$dir" XDG_RUNTIME_DIR="$dir/runtime"
export QT_QPA_PLATFORM=offscreen
"$@"
