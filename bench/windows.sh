#!/usr/bin/env bash
# Start-up time to the main window on the screen, and resident memory after a 24-hour job, of the
# program with its windows (under a virtual display) and headless, on the demo site.
# Usage: bench/windows.sh   (after a build; prints one line per figure)
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
bin=$top/build/bin
demo=$top/build/bench-windows
# shellcheck source=../scripts/lib/demo-site.sh
. "$top/scripts/lib/demo-site.sh"

rss_mb() { awk '/^VmRSS/ { printf "%.1f", $2 / 1024 }' "/proc/$1/status"; }
day_job() {
  "$bin/vl3-scheduler-sim" --host 127.0.0.1 --port "$udp" --station 1 --label "Demo FM" --date 20200508 \
    --first 0 --last 23 --listen 127.0.0.2 --timeout 300 >/dev/null || true
}

Xvfb -displayfd 3 -screen 0 1024x720x24 -nolisten tcp 3>"$demo/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$demo/display" ] && break; sleep 0.05; done
export DISPLAY=":$(cat "$demo/display")"
unset QT_QPA_PLATFORM

start=$(date +%s%N)
TMPDIR=$demo "$bin/vl3-tools-nvx" --home "$home" --drive-root "$drives" >"$demo/gui.out" 2>"$demo/gui.err" &
gui=$!
pids+=($gui)
# Polled here: xdotool's own --sync waits half a second between looks.
for _ in $(seq 3000); do
  xdotool search --onlyvisible --name '^Velmora: Tools NVX - ' >/dev/null 2>&1 && break
  sleep 0.01
done
echo "windows: start to main window shown: $(( ($(date +%s%N) - start) / 1000000 )) ms"
day_job
echo "windows: resident memory after a 24-hour job: $(rss_mb "$gui") MB"
kill -TERM "$gui"
wait "$gui" 2>/dev/null || true

TMPDIR=$demo "$bin/vl3-tools-nvx" --headless --home "$home" --drive-root "$drives" >"$demo/headless.out" 2>&1 &
headless=$!
pids+=($headless)
for _ in $(seq 200); do grep -q 'Tools NVX started' "$demo/headless.out" && break; sleep 0.05; done
day_job
echo "headless: resident memory after a 24-hour job: $(rss_mb "$headless") MB"
