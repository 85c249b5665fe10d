#!/usr/bin/env bash
# Installs what is missing, builds and starts the program. Without a display it starts the
# program under a virtual X server, waits for the home window, saves a screenshot and prints
# its path.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"
cmake --build build -j2 --target vexlor

if [ -n "${DISPLAY:-}" ]; then
    exec build/bin/vexlor
fi

mkdir -p out
shot="$(pwd)/out/home-window.png"
num=""
for n in $(seq 90 199); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then num=$n; break; fi
done
[ -n "$num" ] || { echo "No free display number for Xvfb." >&2; exit 1; }
display=":$num"
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
cleanup() { kill "${app_pid:-}" "$xvfb_pid" 2>/dev/null || true; }
trap cleanup EXIT
export DISPLAY="$display"
for _ in $(seq 100); do [ -S "/tmp/.X11-unix/X$num" ] && xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

build/bin/vexlor &
app_pid=$!
wid=""
for _ in $(seq 150); do
    wid="$(xdotool search --onlyvisible --name '^Vexlor$' 2>/dev/null | head -n 1 || true)"
    [ -n "$wid" ] && break
    sleep 0.2
done
if [ -z "$wid" ]; then
    echo "The home window did not appear." >&2
    exit 1
fi
sleep 1
import -window "$wid" "$shot"
echo "Screenshot of the home window: $shot"
