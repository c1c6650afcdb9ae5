#!/usr/bin/env bash
# Black-box check of the thumbnail view as a user meets it: a real window under
# Xvfb with a window manager (openbox), a folder of five JPEGs, Alt+V then T sent
# with xdotool. Passes when five cache entries appear under a scratch HOME's
# ~/.cache/thumbnails/normal within 5 s, each a PNG that ImageMagick reads with
# Thumb::URI (file:// and the file's path) and Thumb::MTime (the file's time).
#   bench/blackbox/thumbnails.sh [PROGRAM] [SCREENSHOT.png]
# Prints the time from the T key until the fifth entry exists, and each entry's
# keys. Needs Xvfb, openbox, xdotool, ImageMagick.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
program=${1:-$here/build/release/app/korvane}
shot=${2:-}
im=/usr/bin/convert-im6.q16
[[ -x $program ]] || { echo "thumbnails: build the program first ($program)" >&2; exit 2; }

work=$(mktemp -d)
display=:$((150 + RANDOM % 100))
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/home" "$work/photos"
for i in 1 2 3 4 5; do
  "$im" -size 640x480 -seed "$i" plasma:fractal "$work/photos/photo$i.jpg"
done
export HOME=$work/home DISPLAY=$display
unset XDG_CACHE_HOME XDG_CONFIG_HOME

Xvfb "$display" -screen 0 1280x900x24 >/dev/null 2>&1 &
pids+=($!)
sleep 1
openbox >/dev/null 2>&1 &
pids+=($!)
sleep 1
"$program" "$work/photos/photo1.jpg" >/dev/null 2>&1 &
pids+=($!)
window=
for _ in $(seq 100); do
  window=$(xdotool search --pid "${pids[2]}" --onlyvisible 2>/dev/null | head -1 || true)
  [[ -n $window ]] && break
  sleep 0.1
done
[[ -n $window ]] || { echo "thumbnails: no window" >&2; exit 1; }
sleep 1
xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true
xdotool windowsize "$window" 1200 850

cache=$HOME/.cache/thumbnails/normal
xdotool key alt+v
sleep 0.3
start=$(date +%s%N)
xdotool key t
count=0
while (($(date +%s%N) - start < 5000000000)); do
  count=$(find "$cache" -name '*.png' 2>/dev/null | wc -l)
  ((count >= 5)) && break
  sleep 0.02
done
echo "entries: $count after $((($(date +%s%N) - start) / 1000000)) ms"
((count >= 5)) || exit 1

status=0
for photo in "$work"/photos/*.jpg; do
  uri="file://$photo"
  entry=$cache/$(printf %s "$uri" | md5sum | cut -c1-32).png
  keys=$(/usr/bin/identify-im6.q16 -verbose "$entry" 2>/dev/null | grep -E 'Geometry|Thumb::' || true)
  echo "$entry"
  echo "$keys"
  grep -qx "    Thumb::URI: $uri" <<<"$keys" &&
    grep -qx "    Thumb::MTime: $(stat -c %Y "$photo")" <<<"$keys" ||
    { echo "thumbnails: wrong or missing keys for $photo" >&2; status=1; }
done
if [[ -n $shot ]]; then
  sleep 1
  import -window root "$shot"
fi
exit $status
