#!/bin/bash
# The recording user's desktop session, started by the automatic login on tty1: an X server
# without a screen, the session's autostart entries run by the user's service manager (as a
# desktop does), and at the first boot what the scenario has the user do.
set -uo pipefail
. /usr/local/lib/dorvel-vm/scenario
out=/var/lib/dorvel-vm/out
boot=$(cat /var/lib/dorvel-vm/boots)
exec >>"$out/session-boot$boot.log" 2>&1
echo "session: boot $boot, $(date -u '+%F %T')"

export LANG=C.UTF-8 DISPLAY=:0 QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
# The stand-in viewer records a minute in two seconds.
export ORBIVU_STANDIN_SECONDS_PER_MINUTE=2
Xvfb :0 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
# No limit of its own on waits: the guest's clock leaps while it waits for the disk, and the
# host stops a guest that takes too long.
until [ -S /tmp/.X11-unix/X0 ]; do sleep 0.2; done
dbus-monitor --session "type='method_call',interface='org.freedesktop.Notifications',member='Notify'" \
    >"$HOME/notify-boot$boot.log" 2>&1 &
systemctl --user import-environment LANG DISPLAY QT_QPA_PLATFORM QT_LINUX_ACCESSIBILITY_ALWAYS_ON \
    ORBIVU_STANDIN_SECONDS_PER_MINUTE
# The session's target pulls in the autostart entries, as a desktop's session target does.
mkdir -p "$HOME/.config/systemd/user"
cat >"$HOME/.config/systemd/user/vm-desktop.target" <<'UNIT'
[Unit]
Description=Desktop session of the recording user
BindsTo=graphical-session.target
Wants=xdg-desktop-autostart.target
UNIT
systemctl --user daemon-reload
systemctl --user start vm-desktop.target
echo "session: autostart: $(systemctl --user list-units --all --plain --no-legend 'app-*@autostart.service' | tr -s ' ' | cut -d' ' -f1-4)"

db=$HOME/sandbox/viewer/Database/Orbivu.mdb
# Adds an entry of one minute at the given time (seconds since the epoch, a whole minute).
entry() {
    dorvel-demo --add-entry "$db" 1 "$(date -u -d "@$1" '+%Y.%m.%d %H:%M')" \
        "$(date -u -d "@$(($1 + 60))" '+%Y.%m.%d %H:%M')" "$2"
    echo "$2=$1" >>"$out/plan"
}
# The first whole minute at least 75 seconds away: the entry is loaded as a coming one.
first=$((($(date +%s) + 75) / 60 * 60 + 60))

if [ "$boot" -eq 1 ]; then
    case $SCENARIO in
    standby)
        entry "$first" Morning
        entry $((first + 13 * 60)) Evening
        /usr/bin/dorvel --mirror-activity >"$out/dorvel-boot$boot.out" 2>&1 &
        vm-press Dorvel StandBy 3600
        ;;
    cmos | fail)
        entry "$first" Morning
        entry $((first + 2 * 3600)) Night
        /usr/bin/dorvel min cmos --mirror-activity >"$out/dorvel-boot$boot.out" 2>&1 &
        first_pid=$!
        echo "first=$first_pid" >>"$out/plan"
        ;;
    esac
fi

if [ "$SCENARIO" = fail ]; then
    log=$HOME/.local/state/Dorvel/Dorvel.log
    # Dorvel asks the tool's check before it ends for the tool: the check fails, Dorvel stays.
    until grep -q 'wake-up tool cannot switch the PC off' "$log" 2>/dev/null; do sleep 1; done
    sleep 5
    kill -0 "$first_pid" && echo "stays=$first_pid" >>"$out/plan"
    # The tool on its own (as when the alarm was taken away after that check): it must report
    # the failure and start the scheduler again. Dorvel is ended first, as if it had gone.
    kill "$first_pid"
    wait "$first_pid"
    night=$(sed -n 's/^Night=//p' "$out/plan")
    /usr/lib/dorvel/Nocturo.exe "/wakeup=$(date -d "@$((night - 180))" '+%Y-%m-%d %H:%M:%S')" \
        2>"$out/nocturo.err"
    echo "tool=$?" >>"$out/plan"
    again=
    until [ -n "$again" ]; do
        sleep 1
        again=$(pgrep -u rec -x dorvel | head -1)
    done
    sleep 5
    echo "again=$again $(tr '\0' ' ' </proc/"$again"/cmdline 2>/dev/null)" >>"$out/plan"
    systemctl poweroff
fi
wait
