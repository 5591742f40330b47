# The mechanics of driving the editor under openbox on a private Xvfb display, shared by
# the window manager check (tests/wm/window_manager_check.sh) and scripts/wm_screenshots.sh.
# Source it, optionally set screen_w and screen_h, then call
#   wm_start PIXOVA [ARGUMENT...]
# which sets DISPLAY and HOME, app_pid and main (the main window's id), and cleans up on
# exit. Conditions are polled, never waited out.
#
# Needs Xvfb, openbox, xdotool, xprop and xwininfo (scripts/install-deps.sh installs them).

: "${screen_w:=1280}"
: "${screen_h:=800}"
# Generous: CI machines are small and busy.
appear_seconds=30
settle_seconds=10

for tool in Xvfb openbox xdotool xprop xwininfo; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/install-deps.sh)"; exit 1; }
done

work=$(mktemp -d)
pids=()
wm_cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$work"
}
trap wm_cleanup EXIT

# poll SECONDS COMMAND...: runs COMMAND until it succeeds; false when time runs out.
poll() {
    local seconds=$1
    shift
    local end=$((SECONDS + seconds))
    while ! "$@"; do
        ((SECONDS < end)) || return 1
        sleep 0.05
    done
}

file_has_text() { [[ -s $1 ]]; }
wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }

# The id of the first window whose title matches the regular expression ($1).
window_titled() { xdotool search --name "$1" 2>/dev/null | head -n1; }

main=""
find_main() {
    main=$(window_titled '^Pixova_ImageEditor 2\.0 \| 01/12/2016$')
    [[ -n $main ]]
}

app_alive() { kill -0 "$app_pid" 2>/dev/null; }
app_log() { cat "$work/pixova.log"; }

wm_start() {
    # Xvfb picks a free display itself and writes its number once it accepts clients.
    Xvfb -displayfd 3 -screen 0 "${screen_w}x${screen_h}x24" -nolisten tcp 3>"$work/display" \
        >"$work/xvfb.log" 2>&1 &
    pids+=($!)
    poll "$appear_seconds" file_has_text "$work/display" || { echo "FAIL: Xvfb did not start"; exit 1; }
    export DISPLAY=":$(head -n1 "$work/display")"
    # A home of its own: no preferences, no window manager settings but the defaults.
    export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" QT_QPA_PLATFORM=xcb
    mkdir -p "$HOME"

    openbox --sm-disable >"$work/openbox.log" 2>&1 &
    pids+=($!)
    poll "$appear_seconds" wm_running || { echo "FAIL: openbox did not start"; exit 1; }

    "$@" >"$work/pixova.log" 2>&1 &
    pids+=($!)
    app_pid=$!
    if ! poll "$appear_seconds" find_main; then
        echo "FAIL: the main window never appeared"
        app_log
        exit 1
    fi
}

# ---- Reading the window manager's view ------------------------------------------------

hex() { printf '0x%x' "$1"; }

# The inner area of window $1 as "x y w h".
inner_area() {
    xwininfo -id "$1" 2>/dev/null | awk '
        /Absolute upper-left X/ {x = $4} /Absolute upper-left Y/ {y = $4}
        /Width:/ {w = $2} /Height:/ {h = $2} END {if (h != "") print x, y, w, h}'
}

# The outer frame of window $1 as "x y w h"; fails while the window manager has not framed
# it.
outer_frame() {
    local extents l r t b x y w h
    extents=$(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null |
        grep -o '[0-9]\+, [0-9]\+, [0-9]\+, [0-9]\+') || return 1
    IFS=', ' read -r l r t b <<<"$extents"
    read -r x y w h < <(inner_area "$1")
    [[ -n ${h:-} ]] || return 1
    echo "$((x - l)) $((y - t)) $((w + l + r)) $((h + t + b))"
}

frame_on_screen() {
    local x y w h
    read -r x y w h < <(outer_frame "$1") || return 1
    [[ -n ${h:-} ]] && ((x >= 0 && y >= 0 && x + w <= screen_w && y + h <= screen_h))
}

# The main window is as wide as the screen, as it is once fitted to a picture wider than the
# screen (before, it shows the start-up picture at 800 x 450).
main_spans_screen() {
    local x y w h
    read -r x y w h < <(inner_area "$main")
    [[ -n ${w:-} ]] && ((w >= screen_w - 20))
}

# Position of window $1 in the stacking order, bottom first (empty when not listed).
stack_index() {
    local id
    id=$(hex "$1")
    xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //' | tr ',' '\n' | tr -d ' ' |
        awk -v id="$id" '$0 == id {print NR; exit}'
}

# True when window $1 is above window $2.
above() {
    local a b
    a=$(stack_index "$1")
    b=$(stack_index "$2")
    [[ -n $a && -n $b ]] && ((a > b))
}

active_window() { xprop -root _NET_ACTIVE_WINDOW | grep -o '0x[0-9a-f]\+'; }
is_active() { [[ $(active_window) == "$(hex "$1")" ]]; }
transient_for() { xprop -id "$1" WM_TRANSIENT_FOR 2>/dev/null | grep -o '0x[0-9a-f]\+'; }
is_viewable() { xwininfo -id "$1" 2>/dev/null | grep -q IsViewable; }
window_gone() { ! is_viewable "$1"; }

# The window manager has handled every event sent before: it answers a request to change
# the number of desktops only after the clicks and keys queued ahead of it.
desktops_are() { [[ $(xdotool get_num_desktops) == "$1" ]]; }
wm_sync() {
    local n
    n=$(xdotool get_num_desktops)
    if ((n > 1)); then n=$((n - 1)); else n=$((n + 1)); fi
    xdotool set_num_desktops "$n"
    poll "$settle_seconds" desktops_are "$n"
}

# ---- Acting as the user ---------------------------------------------------------------

# A click low on the right of the main window's canvas, where no tool window is placed.
click_canvas() {
    local x y w h
    read -r x y w h < <(inner_area "$main")
    xdotool mousemove $((x + w - 40)) $((y + h - 60)) click 1
}

click_title_bar() {
    local x y w h
    read -r x y w h < <(outer_frame "$1")
    xdotool mousemove $((x + w / 2)) $((y + 6)) click 1
}

focus_main() {
    xdotool windowactivate --sync "$main" >/dev/null 2>&1
    poll "$settle_seconds" is_active "$main"
}

# open_window TITLE-REGEX KEYS...: types KEYS into the main window and prints the id of
# the window titled TITLE-REGEX once it shows; fails when none does.
open_window() {
    local title=$1 w=""
    shift
    focus_main || return 1
    xdotool key --clearmodifiers "$@"
    shown() {
        w=$(window_titled "$title")
        [[ -n $w ]] && is_viewable "$w"
    }
    poll "$appear_seconds" shown || return 1
    echo "$w"
}
