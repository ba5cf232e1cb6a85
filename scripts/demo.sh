#!/usr/bin/env bash
# Builds Dorvel and runs it on a ready demo: a sandbox viewer folder with a database of
# channels and recordings due in the next minutes, the stand-in viewer, the wake-up tool in
# dry-run mode and the simulated power backend. Nothing outside the sandbox is touched.
# Usage: scripts/demo.sh [sandbox folder]   (default: ./demo, made anew each time)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
dorvel_install_deps

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target dorvel dorvel-demo orbivu-standin Nocturo.exe

sandbox=$(realpath -m "${1:-demo}")
build/bin/dorvel-demo "$sandbox" --force --language eng

# The program's folder: dorvel itself, and a wake-up tool that only says what it would do.
mkdir -p "$sandbox/app"
cp build/bin/dorvel "$sandbox/app/dorvel"
cat >"$sandbox/app/Nocturo.exe" <<EOS
#!/bin/sh
exec "$PWD/build/bin/Nocturo.exe" --dry-run "\$@"
EOS
chmod +x "$sandbox/app/Nocturo.exe"

export XDG_CONFIG_HOME="$sandbox/config"
export XDG_STATE_HOME="$sandbox/state"
export XDG_RUNTIME_DIR="$sandbox/run"
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
build/bin/Nocturo.exe --install >/dev/null

echo "Sandbox: $sandbox (event log: $sandbox/app/Dorvel.log, recordings: $sandbox/recordings)"
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: running offscreen, the activity list follows here. Ctrl-C ends the demo."
fi
exec "$sandbox/app/dorvel" --simulate-power
