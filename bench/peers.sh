#!/usr/bin/env bash
# Times Neuquant_256 in pixova-batch against ImageMagick and pngquant reducing the same
# photograph (saved as PNG) to 256 colours, each run as a whole process, and prints the
# ratios. Usage: bench/peers.sh [RUNS]   (PIXOVA_BATCH overrides the batch tool's path)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
runs="${1:-5}"
batch="${PIXOVA_BATCH:-$root/build/pixova-batch}"
photo=/usr/share/backgrounds/sunset_by_Aitzol_Berasategi.jpg
# The real ImageMagick, not a wrapper earlier on PATH.
if [[ -x /usr/bin/convert ]]; then im=/usr/bin/convert; else im="$(command -v convert || true)"; fi

fail() { echo "peers: $*" >&2; exit 2; }
[[ -f $photo ]] || fail "$photo is missing (install lomiri-wallpapers)"
[[ -n $im && -x $im ]] || fail "ImageMagick convert not found (install imagemagick)"
command -v pngquant >/dev/null || fail "pngquant not found (install pngquant)"
have_batch=1
if [[ ! -x "$batch" ]]; then
    echo "peers: $batch is not built; timing the peers only (make build first)" >&2
    have_batch=0
fi

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
in="$tmp/photo.png"
"$im" "$photo" "$in"
read -r width height < <("$im" "$in" -format '%w %h\n' info:)
echo "photograph: $width x $height, $runs runs each"
if ((have_batch)); then
    # A batch tool that does not quantize yet would be timed doing nothing.
    if ! "$batch" "$in" --quantize neuquant256 "$tmp/check.png" >/dev/null 2>&1 ||
        [[ ! -s "$tmp/check.png" ]]; then
        echo "peers: $batch wrote no quantized image; timing the peers only" >&2
        have_batch=0
    fi
fi

names=()
commands=()
add() { names+=("$1"); commands+=("$2"); }
if ((have_batch)); then
    add pixova "'$batch' '$in' --quantize neuquant256 '$tmp/pixova.png'"
    add pixova-dither "'$batch' '$in' --quantize neuquant256 --dither '$tmp/pixova-dither.png'"
fi
add convert-nodither "'$im' '$in' -dither None -colors 256 '$tmp/im-nodither.png'"
add convert "'$im' '$in' -colors 256 '$tmp/im.png'"
add pngquant-nofs "pngquant 256 --nofs --force --output '$tmp/pq-nofs.png' '$in'"
add pngquant "pngquant 256 --force --output '$tmp/pq.png' '$in'"

declare -A mean
if command -v hyperfine >/dev/null; then
    args=()
    for i in "${!names[@]}"; do args+=(--command-name "${names[$i]}" "${commands[$i]}"); done
    hyperfine --warmup 1 --runs "$runs" --style basic --export-json "$tmp/times.json" "${args[@]}" >&2
    while read -r name seconds; do mean[$name]="$seconds"; done < <(python3 -c '
import json, sys
for r in json.load(open(sys.argv[1]))["results"]:
    print(r["command"], r["mean"])' "$tmp/times.json")
else
    for i in "${!names[@]}"; do
        bash -c "${commands[$i]}" >/dev/null  # warm-up
        total=0
        for ((r = 0; r < runs; ++r)); do
            start=$(date +%s%N)
            bash -c "${commands[$i]}" >/dev/null
            total=$((total + $(date +%s%N) - start))
        done
        mean[${names[$i]}]=$(awk -v t="$total" -v n="$runs" 'BEGIN { printf "%.6f", t / n / 1e9 }')
    done
fi

echo
printf '%-18s %10s\n' "command" "mean (s)"
for name in "${names[@]}"; do printf '%-18s %10.3f\n' "$name" "${mean[$name]}"; done
if ((have_batch)); then
    echo
    echo "ratios (pixova time / peer time; below 1 means pixova is faster):"
    ratio() { awk -v a="${mean[$1]}" -v b="${mean[$2]}" 'BEGIN { printf "  %-14s / %-16s %6.2f\n", ARGV[1], ARGV[2], a / b }' "$1" "$2"; }
    ratio pixova convert-nodither
    ratio pixova pngquant-nofs
    ratio pixova-dither convert
    ratio pixova-dither pngquant
fi
