#!/usr/bin/env bash
# The editor under a real window manager: openbox on a private Xvfb display, driven with
# the keyboard and the mouse as a user would. With a picture larger than the screen, the
# main window's frame must lie on the screen (its title bar above all); every tool window
# and dialog must be transient for the main window and stay above it after a click on the
# canvas. Modal dialogs keep the focus through that click; modeless windows give it to the
# main window and take it back when their title bar is clicked.
#
#   window_manager_check.sh PIXOVA PICTURE
set -u

exe=${1:?usage: window_manager_check.sh PIXOVA PICTURE}
picture=${2:?usage: window_manager_check.sh PIXOVA PICTURE}
screen_w=1280
screen_h=800
source "$(dirname "$0")/wm_lib.sh"

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

report() {
    app_alive || fail "the editor ended during the check"
    if ((failures > 0)); then
        echo "$failures failure(s); the editor said:"
        app_log
        exit 1
    fi
    echo "window manager check passed"
    exit 0
}

wm_start "$exe" "$picture"

# The picture is larger than the screen: the window fills it, frame included.
poll "$appear_seconds" main_spans_screen || fail "the main window was not fitted to the picture"
if ! poll "$settle_seconds" frame_on_screen "$main"; then
    fail "the main window's frame is not on the screen: $(outer_frame "$main" || echo unframed)"
fi

# check_window NAME TITLE-REGEX KIND KEYS...: opens the window with KEYS typed into the
# main window, then checks it. KIND: modal (keeps the focus), modeless (takes it when it
# opens), quiet (modeless, opens without taking it).
check_window() {
    local name=$1 title=$2 kind=$3
    shift 3
    if ! app_alive; then
        fail "$name: the editor is no longer running"
        return
    fi
    local w
    if ! w=$(open_window "$title" "$@"); then
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
    above "$w" "$main" || fail "$name: below the main window after a click on the canvas"
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
        above "$w" "$main" || fail "$name: below the main window after the second click on the canvas"
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
