#!/usr/bin/env bash
# The VQN codec next to OpenJPH (a fast wavelet codec) on the 12 MP benchmark
# photograph in one run: our encode and decode with one and two threads at the
# track-bar position 60 (bench_codec), then ojph_compress and ojph_expand at the
# quantisation step whose file comes nearest to ours in size, timed by
# hyperfine. Needs scripts/fetch-bench-images and scripts/setup bench.
#   bench/codec_peers.sh [build dir]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build/release}
photo=${KORVANE_BENCH_IMAGES:-$here/build-ext/bench}/kleiber-12mp.ppm
[[ -f $photo ]] || { echo "codec_peers: run scripts/fetch-bench-images first" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"

"$build/bench/bench_codec" --benchmark_filter='BM_(En|De)code/0/[12]/60' | grep '^BM_' | tee "$work/ours.txt"
bpp=$(awk '/BM_Encode\/0\/1\/60/ { for (i = 1; i <= NF; ++i) if ($i ~ /^bpp=/) print substr($i, 5) }' "$work/ours.txt")
read -r w h < <(identify -format '%w %h\n' "$photo")
target=$(awk -v b="$bpp" -v n=$((w * h)) 'BEGIN { printf "%d", b * n / 8 }')

best="" bestDiff=-1
for q in 0.004 0.006 0.008 0.01 0.012 0.015 0.018 0.022 0.027 0.03 0.033 0.036 0.04 0.045 0.05 0.06; do
  ojph_compress -i "$photo" -o "$work/q.j2c" -qstep "$q" >/dev/null
  size=$(stat -c %s "$work/q.j2c")
  diff=$((size > target ? size - target : target - size))
  if ((bestDiff < 0 || diff < bestDiff)); then best=$q bestDiff=$diff; fi
done
ojph_compress -i "$photo" -o "$work/p.j2c" -qstep "$best" >/dev/null
echo "ours: $target bytes (bpp $bpp); OpenJPH -qstep $best: $(stat -c %s "$work/p.j2c") bytes"
hyperfine -N --warmup 2 --runs 10 --export-markdown "$work/peers.md" \
  "ojph_compress -i $photo -o $work/c.j2c -qstep $best" \
  "ojph_expand -i $work/p.j2c -o $work/e.ppm" >/dev/null
cat "$work/peers.md"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
