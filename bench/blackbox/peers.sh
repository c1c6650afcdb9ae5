#!/usr/bin/env bash
# The black-box benchmark (next_image.sh) for this program and, one after the
# other in the same run, for the other image viewers installed here: each one's
# screen point inside its picture (its own window, first started on a 1600 x
# 1000 screen with no window manager) and its keys for the next and previous
# file. A viewer that is not installed is skipped. First comes the floor of the
# measurement: repeat_floor, a window that shows each colour the moment its key
# arrives.
#   bench/blackbox/peers.sh [PROGRAM]
# STARTS, PAUSE_MS, HOLD_MS and REPEAT_MS pass through to next_image.sh.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
program=${1:-$here/../../build/release/app/korvane}

bin=$(mktemp -d)
trap 'rm -rf "$bin"' EXIT
floor=$bin/repeat_floor
g++ -O2 -std=c++20 -o "$floor" "$here/repeat_floor.cpp" -lX11
# name | screen point | next key | previous key
peers=(
  "$floor|800 500|Down|Up"
  "$program|800 500|Down|Up"
  "geeqie|480 247|space|BackSpace"
  "qimgv|550 400|Right|Left"
)
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for line in "${peers[@]}"; do
  IFS='|' read -r name point next prev <<<"$line"
  path=$(command -v "$name") || { echo "---- $name: not installed"; continue; }
  PROBE_AT=$point NEXT_KEY=$next PREV_KEY=$prev "$here/next_image.sh" "$path" 2>/dev/null |
    grep -v '^  held' || echo "  ($name: some images never appeared at the point)"
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
