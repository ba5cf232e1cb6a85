#!/bin/bash
# Runs as the recording user at the first boot: a viewer folder with an empty database (the
# demo generator's), its settings and Dorvel's in ~/.config, and the wake-up tool recorded as
# installed. The scenario's entries are added when the session starts, relative to the clock.
set -euo pipefail
. /usr/local/lib/dorvel-vm/scenario
cd "$HOME"
dorvel-demo "$HOME/sandbox" --entries 0 --language eng
mkdir -p "$HOME/.config"
cp -a "$HOME/sandbox/config/." "$HOME/.config/"
conf=$HOME/.config/Dorvel/Dorvel.conf
set_key() {
    if grep -q "^$1=" "$conf"; then
        sed -i "s|^$1=.*|$1=$2|" "$conf"
    else
        sed -i "/^\[Startup\]/a $1=$2" "$conf"
    fi
}
set_key ShutDownType "$SHUTDOWN_TYPE"
set_key SaveLog 1
# The standby test passed on this machine (it unlocks the StandBy button).
set_key SuspendCheck 1
/usr/lib/dorvel/Nocturo.exe --install
