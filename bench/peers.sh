#!/usr/bin/env bash
# pixova-batch beside pngquant (and ImageMagick), whole process against whole process.
#
# Speed, on a 4272 x 2848 photograph, timed side by side in one run:
#   - every quantize style, with and without dither, PNG in to PNG out, against
#     pngquant's default (256 colours, dithered); target: at most 0.5 times, and for
#     best --limit 256 --dither in particular
#   - the size of the 256-colour dithered results against pngquant's file; target: at most
#     1.1 times
#   - pixova-batch with no edit, BMP to BMP (target: at most 0.25 s), PNG to PNG, and a
#     negative, PNG to PNG
#   - ImageMagick reducing to 256 colours, for reference
# Quality, measured for pngquant's files and ours by the same code (pixova-batch RESULT
# --measure ORIGINAL): PSNR over R, G, B, mean CIE76 Delta E, and Delta E after a Gaussian
# blur of sigma 1 pixel of both images (in linear light), which is how a dithered result
# looks from a normal viewing distance.
#   - photographs with their longest side 1600 px, at 16, 64 and 256 colours: pngquant
#     --nofs against best, and pngquant's default against best --dither; targets: plain,
#     PSNR at least 0.3 dB above pngquant --nofs and mean Delta E below it; dithered,
#     blurred Delta E at most pngquant's and PSNR at least its PSNR
#   - icons with soft edges (Adwaita's 512 px icons): PSNR over premultiplied RGBA, and
#     whether the file is an indexed PNG; target: indexed, PSNR at least pngquant's
# Usage: bench/peers.sh [RUNS]   (PIXOVA_BATCH overrides the batch tool's path)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
runs="${1:-3}"
batch="${PIXOVA_BATCH:-$root/build/pixova-batch}"
backgrounds=/usr/share/backgrounds
photo=$backgrounds/sunset_by_Aitzol_Berasategi.jpg
# The four photographs the targets were set on, then others of other kinds.
quality_photos=(sunset_by_Aitzol_Berasategi picosdeeuropa_by_Aitzol_Berasategi
    Painting-Colors_by__herobrine7gamer Dragonfly_by_Bolly)
other_photos=(Fossa_by_Jasper_Roks Kleiber_by_Lukas_Baubkus Wine_by_Jakkub_Mede
    friends_by_Aitzol_Berasategi)
icon_dir=/usr/share/icons/Adwaita/512x512
icons=(places/user-home devices/computer devices/printer mimetypes/image-x-generic
    places/folder-music devices/input-gaming)
counts=(16 64 256)
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
((${#styles[@]} == 16)) || fail "expected 16 styles in the help, found ${#styles[@]}"

# Every run writes the same file again: --force lets it.
names=()
commands=()
add() { names+=("$1"); commands+=("$2"); }
add pngquant "pngquant 256 --force --output '$tmp/pq.png' '$in'"
for style in "${styles[@]}"; do
    # LIMIT 256 where the style has one of colours, as pngquant is asked for.
    limit=""
    case $style in popularity | adaptive | best) limit="--limit 256" ;; esac
    add "$style" "'$batch' '$in' --quantize $style $limit --force '$tmp/$style.png'"
    add "$style+dither" "'$batch' '$in' --quantize $style $limit --dither --force '$tmp/$style-dither.png'"
done
add bmp-to-bmp "'$batch' '$tmp/photo.bmp' --force '$tmp/copy.bmp'"
add png-to-png "'$batch' '$in' --force '$tmp/copy.png'"
add negative "'$batch' '$in' --negative --force '$tmp/negative.png'"
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
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
# "met" or "MISSED" for a condition awk evaluates.
verdict() { awk "BEGIN { print ($1) ? \"met\" : \"MISSED\" }"; }

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
    rp=$(ratio "$plain" "$peer")
    rd=$(ratio "$dither" "$peer")
    printf '%-13s %10.3f %7s %10.3f %7s %12d\n' "$style" "$plain" "$rp" "$dither" "$rd" \
        "$(size "$tmp/$style-dither.png")"
    worst=$(awk -v w="$worst" -v a="$rp" -v b="$rd" 'BEGIN { m = (a > b ? a : b); print (m > w ? m : w) }')
done
echo "largest ratio: $worst (target 0.5)"
best_ratio=$(ratio "${mean[best+dither]}" "$peer")
printf 'best --limit 256 --dither: %.3f s, %s x pngquant (target 0.5): %s\n' \
    "${mean[best+dither]}" "$best_ratio" "$(verdict "$best_ratio <= 0.5")"

echo
echo "256-colour dithered file size over pngquant's (target: at most 1.1)"
for style in popularity adaptive neuquant256 best; do
    printf '  %-12s %6s\n' "$style" "$(ratio "$(size "$tmp/$style-dither.png")" "$(size "$tmp/pq.png")")"
done

echo
echo "No edit and one edit, whole process"
printf '  %-12s %7.3f s (target 0.25)\n' bmp-to-bmp "${mean[bmp-to-bmp]}"
printf '  %-12s %7.3f s\n' png-to-png "${mean[png-to-png]}"
printf '  %-12s %7.3f s\n' negative "${mean[negative]}"
printf '  %-12s %7.3f s (ImageMagick, 256 colours)\n' convert "${mean[convert]}"

# ---- Quality ----

# "PSNR dE blurred rgba-psnr colours" of RESULT against ORIGINAL.
measure() {
    "$batch" "$1" --measure "$2" | awk -F'|' '{
        split($1, c, " "); split($2, p, " "); split($3, d, " "); split($4, b, " "); split($5, a, " ")
        print p[2], d[3], b[3], a[3], c[1] }'
}

# One table over a set of photographs; adds to the sums of the set.
declare -A sum
quality_table() {
    local set="$1"
    shift
    for name in "$@"; do
        local original="$tmp/q-$name.png"
        [[ -f $original ]] || continue
        for k in "${counts[@]}"; do
            pngquant "$k" --nofs --force --output "$tmp/q-$name-pqn$k.png" "$original"
            pngquant "$k" --force --output "$tmp/q-$name-pqd$k.png" "$original"
            "$batch" "$original" --quantize best --limit "$k" --force "$tmp/q-$name-best$k.png"
            "$batch" "$original" --quantize best --limit "$k" --dither --force \
                "$tmp/q-$name-bestd$k.png"
            for method in pqn pqd best bestd; do
                read -r psnr de blurred _ _ < <(measure "$tmp/q-$name-$method$k.png" "$original")
                printf '  %-36s %4d %-13s %7.2f %7.3f %7.3f\n' "$name" "$k" \
                    "$(method_name $method)" "$psnr" "$de" "$blurred"
                sum[$set,$method,$k,psnr]=$(awk -v s="${sum[$set,$method,$k,psnr]:-0}" -v v="$psnr" 'BEGIN { print s + v }')
                sum[$set,$method,$k,de]=$(awk -v s="${sum[$set,$method,$k,de]:-0}" -v v="$de" 'BEGIN { print s + v }')
                sum[$set,$method,$k,blur]=$(awk -v s="${sum[$set,$method,$k,blur]:-0}" -v v="$blurred" 'BEGIN { print s + v }')
            done
        done
        sum[$set,n]=$((${sum[$set,n]:-0} + 1))
    done
}
method_name() {
    case $1 in
        pqn) echo "pngquant-nofs" ;; pqd) echo "pngquant" ;; best) echo "best" ;;
        bestd) echo "best-dither" ;;
    esac
}
# Means of a set, and the targets on them.
quality_means() {
    local set="$1" n="${sum[$1,n]:-0}"
    ((n > 0)) || return 0
    echo "  means over $n:"
    printf '  %4s %-13s %7s %7s %7s\n' count method PSNR dE blurred
    for k in "${counts[@]}"; do
        for method in pqn best pqd bestd; do
            printf '  %4d %-13s %7.2f %7.3f %7.3f\n' "$k" "$(method_name $method)" \
                "$(awk -v s="${sum[$set,$method,$k,psnr]}" -v n="$n" 'BEGIN { print s / n }')" \
                "$(awk -v s="${sum[$set,$method,$k,de]}" -v n="$n" 'BEGIN { print s / n }')" \
                "$(awk -v s="${sum[$set,$method,$k,blur]}" -v n="$n" 'BEGIN { print s / n }')"
        done
    done
    echo "  targets:"
    for k in "${counts[@]}"; do
        local gain de_b de_p psnr_d psnr_pd blur_d blur_pd
        gain=$(awk -v a="${sum[$set,best,$k,psnr]}" -v b="${sum[$set,pqn,$k,psnr]}" -v n="$n" 'BEGIN { printf "%.2f", (a - b) / n }')
        de_b=$(awk -v s="${sum[$set,best,$k,de]}" -v n="$n" 'BEGIN { printf "%.3f", s / n }')
        de_p=$(awk -v s="${sum[$set,pqn,$k,de]}" -v n="$n" 'BEGIN { printf "%.3f", s / n }')
        psnr_d=$(awk -v s="${sum[$set,bestd,$k,psnr]}" -v n="$n" 'BEGIN { printf "%.2f", s / n }')
        psnr_pd=$(awk -v s="${sum[$set,pqd,$k,psnr]}" -v n="$n" 'BEGIN { printf "%.2f", s / n }')
        blur_d=$(awk -v s="${sum[$set,bestd,$k,blur]}" -v n="$n" 'BEGIN { printf "%.3f", s / n }')
        blur_pd=$(awk -v s="${sum[$set,pqd,$k,blur]}" -v n="$n" 'BEGIN { printf "%.3f", s / n }')
        printf '  %3d plain:    PSNR %+.2f dB over pngquant --nofs (target +0.30): %s; mean dE %s against %s: %s\n' \
            "$k" "$gain" "$(verdict "$gain >= 0.3")" "$de_b" "$de_p" "$(verdict "$de_b < $de_p")"
        printf '  %3d dithered: blurred dE %s against %s: %s; PSNR %s against %s: %s\n' \
            "$k" "$blur_d" "$blur_pd" "$(verdict "$blur_d <= $blur_pd")" "$psnr_d" "$psnr_pd" \
            "$(verdict "$psnr_d >= $psnr_pd")"
    done
}

for name in "${quality_photos[@]}" "${other_photos[@]}"; do
    if [[ -f $backgrounds/$name.jpg ]]; then
        "$im" "$backgrounds/$name.jpg" -resize 1600x1600 "$tmp/q-$name.png"
    fi
done
echo
echo "Quality: the four photographs, longest side 1600 px (PSNR dB, mean dE, blurred dE)"
quality_table main "${quality_photos[@]}"
quality_means main
echo
echo "Quality: other photographs and artwork, longest side 1600 px"
quality_table other "${other_photos[@]}"
quality_means other

echo
if [[ -d $icon_dir ]]; then
    echo "Icons with soft edges ($icon_dir): PSNR over premultiplied RGBA, indexed PNG, bytes"
    printf '  %-26s %4s %-13s %8s %8s %8s\n' icon count method "RGBA dB" indexed bytes
    icons_met=0 icons_tried=0
    for icon in "${icons[@]}"; do
        original="$icon_dir/$icon.png"
        [[ -f $original ]] || continue
        base="$tmp/i-${icon//\//-}"
        for k in 64 256; do
            pngquant "$k" --nofs --force --output "$base-pqn$k.png" "$original"
            pngquant "$k" --force --output "$base-pqd$k.png" "$original"
            "$batch" "$original" --quantize best --limit "$k" --force "$base-best$k.png"
            "$batch" "$original" --quantize best --limit "$k" --dither --force "$base-bestd$k.png"
            declare -A rgba=()
            for method in pqn pqd best bestd; do
                file="$base-$method$k.png"
                read -r _ _ _ r _ < <(measure "$file" "$original")
                rgba[$method]=$r
                # Colour type 3 in the header: a palette.
                type=$(od -An -tu1 -j25 -N1 "$file" | tr -d ' ')
                printf '  %-26s %4d %-13s %8s %8s %8d\n' "$icon" "$k" "$(method_name $method)" \
                    "$r" "$([[ $type == 3 ]] && echo yes || echo no)" "$(size "$file")"
                if [[ $method == best* && $type != 3 ]]; then rgba[$method]=-1; fi
            done
            for pair in "best pqn" "bestd pqd"; do
                set -- $pair
                icons_tried=$((icons_tried + 1))
                if awk -v a="${rgba[$1]}" -v b="${rgba[$2]}" 'BEGIN {
                    if (a == "inf") a = 1e9; if (b == "inf") b = 1e9; exit !(a >= 0 && a >= b) }'; then
                    icons_met=$((icons_met + 1))
                fi
            done
        done
    done
    echo "  target (indexed, RGBA PSNR at least pngquant's, plain and dithered): met in $icons_met of $icons_tried"
else
    echo "Icons: $icon_dir is missing (install adwaita-icon-theme)"
fi
