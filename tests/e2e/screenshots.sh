#!/usr/bin/env bash
# The real dorvel on a demo sandbox under Xvfb with a window manager and a tray: saves PNG
# screenshots (default size, resized larger, the tray menu) into the given folder and checks
# what a person would: the tray icon is there, minimising leaves only the tray icon, a left
# click and a second start bring the window back, SIGTERM keeps the layout.
# Usage: screenshots.sh <dorvel> <dorvel-demo> <output folder>   (run inside xvfb-run)
set -euo pipefail
dorvel=$1 demo=$2 out=$3
mkdir -p "$out"
work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*"
    import -window root "$out/failure.png" || true
    exit 1
}
# Waits until the command succeeds, at most $1 tenths of a second.
until_ok() {
    local n=$1; shift
    for ((i = 0; i < n; i++)); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
    return 1
}
main_window() { xdotool search --onlyvisible --name '^Dorvel Ver' 2>/dev/null | head -1 || true; }
shown() { [ -n "$(main_window)" ]; }
hidden() { [ -z "$(main_window)" ]; }

"$demo" "$work/sb" --language eng >/dev/null
mkdir -p "$work/sb/app" "$work/sb/run"
chmod 700 "$work/sb/run"
cp "$dorvel" "$work/sb/app/dorvel"
export XDG_CONFIG_HOME=$work/sb/config XDG_STATE_HOME=$work/sb/state XDG_RUNTIME_DIR=$work/sb/run
export QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY

openbox >/dev/null 2>&1 & pids+=($!)
until_ok 100 xprop -root _NET_SUPPORTING_WM_CHECK || fail "no window manager"
sleep 1
trayer --edge bottom --align right --widthtype pixel --width 120 --height 32 >/dev/null 2>&1 & pids+=($!)
until_ok 100 xdotool search --onlyvisible --class trayer || fail "no tray"
sleep 1
tray=$(xdotool search --onlyvisible --class trayer | head -1)

"$work/sb/app/dorvel" --simulate-power >"$out/dorvel.out" 2>&1 & dorvel_pid=$!
pids+=($dorvel_pid)
until_ok 200 shown || fail "the main window did not appear"
sleep 1
win=$(main_window)
import -window root "$out/main-default.png"
# The tray icon is embedded in the tray: a child window of it.
[ "$(xwininfo -children -id "$tray" | grep -c '^ *0x' || true)" -ge 1 ] || fail "no tray icon"

xdotool windowsize "$win" 1200 800
sleep 1
import -window root "$out/main-larger.png"
# The tray menu: right click on the icon, at the tray's right end.
eval "$(xdotool getwindowgeometry --shell "$tray")"
icon_x=$((X + WIDTH - 12)) icon_y=$((Y + HEIGHT / 2))
xdotool mousemove $icon_x $icon_y click 3
sleep 1
import -window root "$out/tray-menu.png"
xdotool key Escape
sleep 0.5

# Minimising leaves only the tray icon; a left click on it or a second start brings it back.
xdotool windowminimize "$win"
until_ok 50 hidden || fail "the window is still shown after minimising"
xdotool mousemove $icon_x $icon_y click 1
until_ok 50 shown || fail "a left click on the tray did not restore"
xdotool windowminimize "$(main_window)"
until_ok 50 hidden || fail "the window is still shown after minimising"
"$work/sb/app/dorvel" --simulate-power >/dev/null 2>&1 || fail "the second start failed"
until_ok 50 shown || fail "a second start did not show the window"

# SIGTERM keeps the layout of the larger window.
kill -TERM "$dorvel_pid"
wait "$dorvel_pid" || fail "dorvel ended with $? on SIGTERM"
grep -q '^HSize=18000' "$XDG_CONFIG_HOME/Dorvel/Dorvel.conf" || fail "window width not kept"
echo "screenshots in $out"
