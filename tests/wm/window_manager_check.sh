#!/usr/bin/env bash
# The editor under a real window manager: openbox on a private Xvfb display, driven with
# the keyboard and the mouse as a user would. With a picture larger than the screen, the
# main window's frame must lie on the screen (its title bar above all); every tool window
# and dialog must be transient for the main window and stay above it after a click on the
# canvas. Modal dialogs keep the focus through that click; modeless windows give it to the
# main window and take it back when their title bar is clicked.
#
#   window_manager_check.sh PIXOVA PICTURE
#
# Needs Xvfb, openbox, xdotool, xprop and xwininfo (scripts/install-deps.sh installs them).
set -u

exe=${1:?usage: window_manager_check.sh PIXOVA PICTURE}
picture=${2:?usage: window_manager_check.sh PIXOVA PICTURE}
screen_w=1280
screen_h=800
# Generous: CI machines are small and busy. Conditions are polled, never waited out.
appear_seconds=30
settle_seconds=10

for tool in Xvfb openbox xdotool xprop xwininfo; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/install-deps.sh)"; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

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

# ---- The display, the window manager and the editor -----------------------------------

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
wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
poll "$appear_seconds" wm_running || { echo "FAIL: openbox did not start"; exit 1; }

"$exe" "$picture" >"$work/pixova.log" 2>&1 &
pids+=($!)
app_pid=$!

# The id of the first window whose title matches the regular expression ($1).
window_titled() { xdotool search --name "$1" 2>/dev/null | head -n1; }
main=""
find_main() {
    main=$(window_titled '^Pixova_ImageEditor 2\.0 \| 01/12/2016$')
    [[ -n $main ]]
}
if ! poll "$appear_seconds" find_main; then
    echo "FAIL: the main window never appeared"
    cat "$work/pixova.log"
    exit 1
fi

# ---- Reading the window manager's view ------------------------------------------------

hex() { printf '0x%x' "$1"; }

# Outer frame of window $1 as "x y w h"; fails while the window manager has not framed it.
outer_frame() {
    local extents l r t b x y w h
    extents=$(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | grep -o '[0-9]\+, [0-9]\+, [0-9]\+, [0-9]\+') || return 1
    IFS=', ' read -r l r t b <<<"$extents"
    read -r x y w h < <(xwininfo -id "$1" 2>/dev/null | awk '
        /Absolute upper-left X/ {x = $4} /Absolute upper-left Y/ {y = $4}
        /Width:/ {w = $2} /Height:/ {h = $2} END {print x, y, w, h}')
    [[ -n $h ]] || return 1
    echo "$((x - l)) $((y - t)) $((w + l + r)) $((h + t + b))"
}

frame_on_screen() {
    local x y w h
    read -r x y w h < <(outer_frame "$1") || return 1
    [[ -n ${h:-} ]] && ((x >= 0 && y >= 0 && x + w <= screen_w && y + h <= screen_h))
}

# Position of window $1 in the stacking order, bottom first (empty when not listed).
stack_index() {
    local id
    id=$(hex "$1")
    xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //' | tr ',' '\n' | tr -d ' ' |
        awk -v id="$id" '$0 == id {print NR; exit}'
}

active_window() {
    xprop -root _NET_ACTIVE_WINDOW | grep -o '0x[0-9a-f]\+'
}

is_active() { [[ $(active_window) == "$(hex "$1")" ]]; }

transient_for() {
    xprop -id "$1" WM_TRANSIENT_FOR 2>/dev/null | grep -o '0x[0-9a-f]\+'
}

window_gone() { ! xwininfo -id "$1" >/dev/null 2>&1 || ! xwininfo -id "$1" | grep -q IsViewable; }

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

# ---- The main window ------------------------------------------------------------------

# The picture is larger than the screen: the window fills it, frame included.
if ! poll "$settle_seconds" frame_on_screen "$main"; then
    fail "the main window's frame is not on the screen: $(outer_frame "$main" || echo unframed)"
fi

click_canvas() {
    local x y w h
    read -r x y w h < <(xwininfo -id "$main" | awk '
        /Absolute upper-left X/ {x = $4} /Absolute upper-left Y/ {y = $4}
        /Width:/ {w = $2} /Height:/ {h = $2} END {print x, y, w, h}')
    # Low on the right, where no tool window is placed.
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

# check_window NAME TITLE-REGEX KIND KEYS...: opens the window with KEYS typed into the
# main window, then checks it. KIND: modal (keeps the focus), modeless (takes it when it
# opens), quiet (modeless, opens without taking it).
check_window() {
    local name=$1 title=$2 kind=$3
    shift 3
    local w=""
    if ! kill -0 "$app_pid" 2>/dev/null; then
        fail "$name: the editor is no longer running"
        return
    fi
    focus_main || fail "$name: the main window does not take the focus"
    xdotool key --clearmodifiers "$@"
    find_window() {
        w=$(window_titled "$title")
        [[ -n $w ]] && xwininfo -id "$w" | grep -q IsViewable
    }
    if ! poll "$appear_seconds" find_window; then
        fail "$name: no window titled '$title' appeared"
        return
    fi
    echo "$name: window $(hex "$w")"

    [[ $(transient_for "$w") == "$(hex "$main")" ]] ||
        fail "$name: not transient for the main window"
    poll "$settle_seconds" outer_frame "$w" >/dev/null || fail "$name: never framed"
    frame_on_screen "$w" || fail "$name: its frame is not on the screen: $(outer_frame "$w")"

    if [[ $kind == quiet ]]; then
        wm_sync
        is_active "$main" || fail "$name: took the focus from the main window when it opened"
    else
        poll "$settle_seconds" is_active "$w" || fail "$name: does not have the focus when it opens"
    fi

    click_canvas
    wm_sync
    wm_sync
    local below above
    below=$(stack_index "$main")
    above=$(stack_index "$w")
    if [[ -z $above || -z $below ]] || ((above < below)); then
        fail "$name: below the main window after a click on the canvas"
    fi
    if [[ $kind == modal ]]; then
        # The click may hand the main window the focus for a moment; the dialog takes it
        # back, and the main window must not keep it.
        poll "$settle_seconds" is_active "$w" || fail "$name: lost the focus to a click on the canvas"
    else
        poll "$settle_seconds" is_active "$main" ||
            fail "$name: the main window did not take the focus when its canvas was clicked"
        click_title_bar "$w"
        poll "$settle_seconds" is_active "$w" || fail "$name: does not take the focus back"
        click_canvas
        wm_sync
        below=$(stack_index "$main")
        above=$(stack_index "$w")
        if [[ -z $above || -z $below ]] || ((above < below)); then
            fail "$name: below the main window after the second click on the canvas"
        fi
        click_title_bar "$w"
        poll "$settle_seconds" is_active "$w" || fail "$name: does not take the focus to close"
    fi

    # The window manager's close: the program closes the window itself.
    xdotool key --clearmodifiers alt+F4
    if ! poll "$settle_seconds" window_gone "$w"; then
        fail "$name: does not close"
        # What follows would be typed into the wrong window.
        report
    fi
}

report() {
    kill -0 "$app_pid" 2>/dev/null || fail "the editor ended during the check"
    if ((failures > 0)); then
        echo "$failures failure(s); the editor said:"
        cat "$work/pixova.log"
        exit 1
    fi
    echo "window manager check passed"
    exit 0
}

# Menus by their letters: Resize (r), Colors (o), Tools (t); items by arrows.
check_window "New image" '^New image$' modal ctrl+n
check_window "Resize canvas" '^resize canvas$' modal alt+r Return
check_window "Resize image" '^resize image$' modal alt+r Down Return
check_window "Add text" '^Add text$' modal ctrl+t
check_window "Quantize" '^Quantize Colors$' modeless alt+o Return
check_window "Bright/Contrast" '^Adjust brightness & contrast$' modeless alt+o Down Return
check_window "Two Colors" '^Two Colors$' modeless alt+o Down Down Return
check_window "Histogram" '^Histogram' quiet alt+t Return
check_window "Palette" 'Palette' modeless alt+t Down Return
check_window "Help" '^Pixova Help$' modeless F1

report
