#!/usr/bin/env bash
# Black-box benchmark of the desktop program as a user meets it: a real window
# under Xvfb on a 1600 x 1000 screen, a folder of 20 JPEG photographs of 12 MP
# fitted to the window (Shrink to Fit, Medium), keys sent with xdotool.
#   bench/blackbox/next_image.sh [PROGRAM]
# Reports, from the key press until the new image's pixels are on screen (polled
# at the window centre): Down (next file) and Up (previous) with a pause of
# PAUSE_MS (default 600) between steps, median and worst; a held key, from one
# image on screen to the next while it is held and from its
# release until the file reached is shown; start-up with the first file on the
# command line until it is painted (STARTS times, default 5); the program's peak
# resident memory over the walk. A held key steps once per key repeat: the X
# server's interval (40 ms unless REPEAT_MS sets another) is the least a held
# step can take, and is printed with the results.
#
# Each image carries a flat square of its own colour in the middle so that the
# probe knows which one is shown. The pictures are the benchmark photograph
# (scripts/fetch-bench-images) when it is there, else noise over gradients.
# IMAGE_FORMAT=bmp (png, tif, ...) makes the pictures in another format than JPEG;
# KEEP_OUT=FILE keeps the probe's raw lines.
# Other programs can be measured the same way: PROBE_AT="X Y" moves the screen
# point (default "800 500", the middle of the screen) into their window, and
# NEXT_KEY and PREV_KEY name their keys for the next and previous file.
# Needs Xvfb, xdotool, ImageMagick, libx11-dev (scripts/setup bench).
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
program=${1:-$here/build/release/app/korvane}
pause=${PAUSE_MS:-600}
hold=${HOLD_MS:-1500}
starts=${STARTS:-5}
format=${IMAGE_FORMAT:-jpg}  # of the pictures, by ImageMagick's name for it
count=20
im=/usr/bin/convert-im6.q16
[[ -x $im ]] || im=/usr/bin/convert
[[ -x $program ]] || { echo "next_image: build the program first ($program)" >&2; exit 2; }

work=$(mktemp -d)
display=:$((150 + RANDOM % 100))
cleanup() {
  [[ -n ${xvfb:-} ]] && kill "$xvfb" 2>/dev/null || true
  [[ -n ${KEEP_OUT:-} ]] && cp "$work/out.txt" "$KEEP_OUT"
  rm -rf "$work"
}
trap cleanup EXIT

g++ -O2 -std=c++20 -o "$work/screen_probe" "$here/bench/blackbox/screen_probe.cpp" -lX11

# Twenty hues a full turn apart, bright enough to survive JPEG and resampling.
colours=()
for i in $(seq 0 $((count - 1))); do
  colours+=("$(python3 -c "import colorsys;r,g,b=colorsys.hsv_to_rgb($i/$count,0.9,0.9);print('%02x%02x%02x'%(round(r*255),round(g*255),round(b*255)))")")
done

mkdir -p "$work/images" "$work/config/korvane"
photo=${KORVANE_BENCH_IMAGES:-$here/build-ext/bench}/kleiber-12mp.ppm
if [[ -f $photo ]]; then
  base=$photo
else
  base=$work/base.ppm
  "$im" -size 4000x3000 gradient:'#203050-#d0a060' \( -size 4000x3000 xc:gray50 +noise Gaussian -blur 0x1.5 \) \
    -compose overlay -composite "$base"
fi
read -r w h < <(identify -format '%w %h\n' "$base")
for i in $(seq 0 $((count - 1))); do
  x0=$((w * 3 / 10)) y0=$((h * 3 / 10)) x1=$((w * 7 / 10)) y1=$((h * 7 / 10))
  "$im" "$base" -modulate 100,100,$((100 + i * 10)) -fill "#${colours[$i]}" \
    -draw "rectangle $x0,$y0 $x1,$y1" -quality 90 "$work/images/$(printf "photo%02d.$format" "$i")"
done

cat >"$work/config/korvane/tesslora.ini" <<EOF
[Path]
Open=$work/images
[Window]
Left=0
Top=0
Width=1600
Height=1000
[Zoom]
Value=0
[Zoom mode]
Value=1
EOF

Xvfb "$display" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
export XDG_CONFIG_HOME=$work/config QT_QPA_PLATFORM=xcb

cd "$work/images"
read -r probe_x probe_y <<<"${PROBE_AT:-800 500}"
export KORVANE_BENCH_COLOURS="${colours[*]}"  # for repeat_floor
# What was measured is printed even when something never appeared (status 1).
status=0
"$work/screen_probe" "$probe_x" "$probe_y" "$pause" "$hold" "$starts" "$program" "photo00.$format" "${colours[@]}" >"$work/out.txt" || status=$?
grep '^held' "$work/out.txt" | sed 's/^/  /' || true

summary() {
  local name=$1 values
  values=$(awk -v n="$name" '$1 == n && $2 >= 0 { print $2 }' "$work/out.txt" | sort -n)
  [[ -z $values ]] && return
  awk -v n="$name" '{ v[NR] = $1 } END { printf "%-9s median %6.1f ms  worst %6.1f ms  (%d)\n", n, v[int((NR + 1) / 2)], v[NR], NR }' <<<"$values"
}
repeat=$(awk '$1 == "repeat_ms" { print $2 }' "$work/out.txt")
echo "---- $program, ${w}x${h} $format files, pause ${pause} ms, key held ${hold} ms, key repeat every ${repeat} ms"
summary next
summary previous
summary held_step
summary held
summary startup
awk '$1 == "peak_rss_mb" { printf "peak RSS  %.1f MB\n", $2 }' "$work/out.txt"
exit "$status"
