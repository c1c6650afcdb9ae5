#!/usr/bin/env bash
# Batch conversion of N 12 MP JPEG photographs (default 200) to PNG and to VQN by
# korvane-cli serially on one core (the serial throughput: one file at a time,
# no thread of the codec's own either), with one worker and with two, and by
# ImageMagick's mogrify with two threads on the same files. Prints wall time, peak memory and files per second
# of each run, and the load average before and after (the machine may be shared).
#   bench/batch_peers.sh [N] [korvane-cli]
# KORVANE_BATCH_FORMATS picks the formats (default "png vqn"); mogrify runs when
# png is among them.
# The pictures are made once with ImageMagick (one plasma picture, shifted into
# ten different ones, copied) in $KORVANE_BATCH_DIR (default /tmp/korvane-batch-bench).
set -euo pipefail

n=${1:-200}
cli=$(realpath "${2:-build/release/korvane-cli}")
work=${KORVANE_BATCH_DIR:-/tmp/korvane-batch-bench}
mkdir -p "$work/in"
cd "$work"

[[ -f base.jpg ]] || convert -size 4000x3000 plasma:fractal -seed 5 -quality 90 base.jpg
for v in 0 1 2 3 4 5 6 7 8 9; do
  [[ -f v$v.jpg ]] || convert base.jpg -roll +$((v * 397))+$((v * 211)) -quality 90 v$v.jpg
done
rm -f in/*.jpg
for ((i = 0; i < n; ++i)); do cp "v$((i % 10)).jpg" "$(printf 'in/p%04d.jpg' "$i")"; done

echo "files: $n x 4000x3000 JPEG; load before: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-28s %9s %10s %8s\n' run seconds peak-KB files/s
measure() {
  local label=$1
  shift
  rm -rf out && mkdir out
  local t
  t=$(/usr/bin/time -f '%e %M' "$@" 2>&1 > /dev/null | tail -1)
  local seconds=${t% *} kb=${t#* }
  printf '%-28s %9s %10s %8.2f\n' "$label" "$seconds" "$kb" "$(echo "$n / $seconds" | bc -l)"
  [[ $(ls out | wc -l) -eq $n ]] || echo "  ($(ls out | wc -l) files written, not $n)"
}
formats=${KORVANE_BATCH_FORMATS:-png vqn}
for format in $formats; do
  measure "korvane-cli $format one core" \
    taskset -c 0 "$cli" batch --to out --format "$format" --jobs 1 in/*.jpg
  for jobs in 1 2; do
    measure "korvane-cli $format --jobs $jobs" \
      "$cli" batch --to out --format "$format" --jobs "$jobs" in/*.jpg
    if [[ $jobs == 1 ]]; then mv out "out-$format-1"; fi
  done
  cmp -s <(cd "out-$format-1" && cat ./*) <(cd out && cat ./*) &&
    echo "  --jobs 2 wrote the bytes --jobs 1 wrote" || echo "  --jobs 2 wrote other bytes!"
  rm -rf "out-$format-1"
done
[[ " $formats " != *" png "* ]] ||
  measure "mogrify -limit thread 2 png" mogrify -limit thread 2 -path out -format png in/*.jpg
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
