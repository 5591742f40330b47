#!/usr/bin/env bash
# Whole processes on a 4272 x 2848 photograph, timed side by side in one run:
#   - every quantize style of pixova-batch, with and without dither, PNG in to PNG out,
#     against pngquant's default (256 colours, dithered); target: at most 0.5 times
#   - the size of the 256-colour dithered results against pngquant's file; target: at most
#     1.1 times
#   - pixova-batch with no edit, BMP to BMP (target: at most 0.25 s), PNG to PNG, and a
#     negative, PNG to PNG
#   - ImageMagick reducing to 256 colours, for reference
# Usage: bench/peers.sh [RUNS]   (PIXOVA_BATCH overrides the batch tool's path)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
runs="${1:-3}"
batch="${PIXOVA_BATCH:-$root/build/pixova-batch}"
photo=/usr/share/backgrounds/sunset_by_Aitzol_Berasategi.jpg
# The real ImageMagick, not a wrapper earlier on PATH.
if [[ -x /usr/bin/convert ]]; then im=/usr/bin/convert; else im="$(command -v convert || true)"; fi

fail() { echo "peers: $*" >&2; exit 2; }
[[ -f $photo ]] || fail "$photo is missing (install lomiri-wallpapers)"
[[ -n $im && -x $im ]] || fail "ImageMagick convert not found (install imagemagick)"
command -v pngquant >/dev/null || fail "pngquant not found (install pngquant)"
command -v hyperfine >/dev/null || fail "hyperfine not found (install hyperfine)"
[[ -x $batch ]] || fail "$batch is not built (make build first)"

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
in="$tmp/photo.png"
"$im" "$photo" "$in"
"$im" "$photo" "$tmp/photo.bmp"
read -r width height < <("$im" "$in" -format '%w %h\n' info:)
echo "photograph: $width x $height, best of $runs runs each, $(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg)"

# The style names as the batch tool lists them in its help.
mapfile -t styles < <("$batch" --help | awk '
    /^  --quantize/ { on = 1; sub(/.*reduce the colours:/, "") }
    /^  --limit/ { on = 0 }
    on { gsub(/[ ,]+/, "\n"); printf "%s", $0 "\n" }' | grep -v '^$')
((${#styles[@]} == 15)) || fail "expected 15 styles in the help, found ${#styles[@]}"

names=()
commands=()
add() { names+=("$1"); commands+=("$2"); }
add pngquant "pngquant 256 --force --output '$tmp/pq.png' '$in'"
for style in "${styles[@]}"; do
    # LIMIT 256 where the style has one of colours, as pngquant is asked for.
    limit=""
    case $style in popularity | adaptive) limit="--limit 256" ;; esac
    add "$style" "'$batch' '$in' --quantize $style $limit '$tmp/$style.png'"
    add "$style+dither" "'$batch' '$in' --quantize $style $limit --dither '$tmp/$style-dither.png'"
done
add bmp-to-bmp "'$batch' '$tmp/photo.bmp' '$tmp/copy.bmp'"
add png-to-png "'$batch' '$in' '$tmp/copy.png'"
add negative "'$batch' '$in' --negative '$tmp/negative.png'"
add convert "'$im' '$in' -colors 256 '$tmp/im.png'"

args=()
for i in "${!names[@]}"; do args+=(--command-name "${names[$i]}" "${commands[$i]}"); done
hyperfine --warmup 1 --runs "$runs" --style basic --export-json "$tmp/times.json" "${args[@]}" >&2

declare -A mean  # best time of each command
# The best run of each: on a shared machine the others are slowed by whatever else runs.
while read -r name seconds; do mean[$name]="$seconds"; done < <(python3 -c '
import json, sys
for r in json.load(open(sys.argv[1]))["results"]:
    print(r["command"], r["min"])' "$tmp/times.json")
size() { stat -c %s "$1"; }

peer="${mean[pngquant]}"
echo
printf 'pngquant 256 (default, dithered): %.3f s, %d bytes\n' "$peer" "$(size "$tmp/pq.png")"
echo
echo "Each style, PNG in to PNG out (target: at most 0.5 x pngquant's time)"
printf '%-13s %10s %7s %10s %7s %12s\n' style "plain (s)" ratio "dither (s)" ratio "dither bytes"
worst=0
for style in "${styles[@]}"; do
    plain="${mean[$style]}"
    dither="${mean[$style+dither]}"
    read -r rp rd < <(awk -v a="$plain" -v b="$dither" -v p="$peer" 'BEGIN { printf "%.2f %.2f\n", a / p, b / p }')
    printf '%-13s %10.3f %7s %10.3f %7s %12d\n' "$style" "$plain" "$rp" "$dither" "$rd" \
        "$(size "$tmp/$style-dither.png")"
    worst=$(awk -v w="$worst" -v a="$rp" -v b="$rd" 'BEGIN { m = (a > b ? a : b); print (m > w ? m : w) }')
done
echo "largest ratio: $worst (target 0.5)"

echo
echo "256-colour dithered file size over pngquant's (target: at most 1.1)"
for style in popularity adaptive neuquant256; do
    awk -v a="$(size "$tmp/$style-dither.png")" -v b="$(size "$tmp/pq.png")" -v s="$style" \
        'BEGIN { printf "  %-12s %6.2f\n", s, a / b }'
done

echo
echo "No edit and one edit, whole process"
printf '  %-12s %7.3f s (target 0.25)\n' bmp-to-bmp "${mean[bmp-to-bmp]}"
printf '  %-12s %7.3f s\n' png-to-png "${mean[png-to-png]}"
printf '  %-12s %7.3f s\n' negative "${mean[negative]}"
printf '  %-12s %7.3f s (ImageMagick, 256 colours)\n' convert "${mean[convert]}"
