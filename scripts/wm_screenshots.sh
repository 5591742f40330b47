#!/usr/bin/env bash
# Takes the window manager screenshots in docs/: the editor under openbox on a 1920 x 1080
# Xvfb display with a photograph larger than the screen.
#   docs/wm_photograph.png          the main window fitted to it, title bar on the screen
#   docs/wm_windows_in_front.png    each tool window and dialog after a click on the canvas
#   docs/wm_quantize_limit_up.png   Up in LIMIT with a selection: the limit changes, the
#                                   selection stays
# Usage: scripts/wm_screenshots.sh PHOTOGRAPH   (needs imagemagick besides what make test needs)
set -euo pipefail
cd "$(dirname "$0")/.."
photo=${1:?usage: scripts/wm_screenshots.sh PHOTOGRAPH}
photo=$(realpath "$photo")
screen_w=1920
screen_h=1080
source tests/wm/wm_lib.sh
shots="$work/shots"
mkdir -p "$shots"

shot() { import -window root "$1"; }

# Crops window $1's frame with `margin` pixels of what lies around it.
crop_around() {
    local x y w h margin=50
    read -r x y w h < <(outer_frame "$1")
    x=$((x > margin ? x - margin : 0))
    y=$((y > margin ? y - margin : 0))
    convert "$2" -crop "$((w + 2 * margin))x$((h + 2 * margin))+$x+$y" +repage "$3"
}

wm_start ./build/pixova "$photo"
poll "$appear_seconds" main_spans_screen
poll "$settle_seconds" frame_on_screen "$main"
sleep 0.5  # the picture may still be painting
shot "$shots/photo.png"
convert "$shots/photo.png" -resize 50% docs/wm_photograph.png

tiles=()
take() {
    local name=$1 title=$2 w
    shift 2
    w=$(open_window "$title" "$@")
    click_canvas
    wm_sync
    wm_sync
    # A modal dialog takes the focus back from the click.
    poll "$settle_seconds" is_active "$w" || true
    sleep 0.3  # what is stacked right may still be painting
    shot "$shots/full.png"
    local file="$shots/${#tiles[@]}.png"
    crop_around "$w" "$shots/full.png" "$shots/crop.png"
    # The window's name above its picture.
    convert "$shots/crop.png" -background '#d8d8d8' -gravity north -splice 0x30 \
        -pointsize 20 -annotate +0+4 "$name" "$file"
    tiles+=("$file")
    click_title_bar "$w"
    poll "$settle_seconds" is_active "$w" || true
    xdotool key --clearmodifiers alt+F4
    poll "$settle_seconds" window_gone "$w"
}
take "New image" '^New image$' ctrl+n
take "resize canvas" '^resize canvas$' alt+r Return
take "resize image" '^resize image$' alt+r Down Return
take "Add text" '^Add text$' ctrl+t
take "Quantize Colors" '^Quantize Colors$' alt+o Return
take "Bright/Contrast" '^Adjust brightness & contrast$' alt+o Down Return
take "Two Colors" '^Two Colors$' alt+o Down Down Return
take "Histogram" '^Histogram' alt+t Return
take "Palette" 'Palette' alt+t Down Return
take "Help" '^Pixova Help$' F1
montage "${tiles[@]}" -tile 4x -geometry '+8+8' -background '#d8d8d8' docs/wm_windows_in_front.png

# A selection dragged on the canvas in selector mode (the tool bar's dashed rectangle).
focus_main
read -r x y _ _ < <(inner_area "$main")
xdotool key --clearmodifiers space
xdotool mousemove $((x + 430)) $((y + 260)) mousedown 1
xdotool mousemove $((x + 560)) $((y + 360))
xdotool mousemove $((x + 700)) $((y + 460)) mouseup 1
q=$(open_window '^Quantize Colors$' alt+o Return)
read -r qx qy _ _ < <(inner_area "$q")
# Into LIMIT, then Up twice: 3 levels (27 colours) become 5 (125).
xdotool mousemove $((qx + 30)) $((qy + 97)) click 1
xdotool key Up Up
wm_sync
sleep 0.3
shot "$shots/limit.png"
# From left of the window to right of the selection, and the status bar below, which
# describes the selection.
left=$((qx - 40)) top=$((qy - 40))
right=$((x + 760)) bottom=$((qy + 290 > y + 500 ? qy + 290 : y + 500))
convert "$shots/limit.png" -crop "$((right - left))x$((bottom - top))+$left+$top" +repage \
    \( "$shots/limit.png" -crop "1100x26+0+$((screen_h - 26))" +repage \) -background '#d8d8d8' \
    -gravity west -append docs/wm_quantize_limit_up.png
echo "wrote docs/wm_photograph.png docs/wm_windows_in_front.png docs/wm_quantize_limit_up.png"
