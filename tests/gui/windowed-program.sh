#!/usr/bin/env bash
# Starts the program with its windows on a virtual display, finds the main window by its
# caption, takes a screenshot, and quits through the menu (Ctrl+Q, then "Oui").
# Arguments: program home drive-root screenshot. Prints "window <id>" and the program's exit code.
set -euo pipefail
program=$1 home=$2 drives=$3 shot=$4
# What the script did, for the test to show when it fails.
exec 2>"$shot.trace"
set -x
unset QT_QPA_PLATFORM
"$program" --home "$home" --drive-root "$drives" >"$shot.out" 2>"$shot.err" &
tool=$!
# The caption is set while the window is still hidden: only a window on the screen counts.
window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Velmora: Tools NVX - ' | head -1)
echo "window $window"
sleep 0.5
import -window "$window" "$shot"
# Without a window manager the keyboard goes where the pointer clicked last.
xdotool mousemove --window "$window" 200 200 click 1
xdotool key ctrl+q
question=""
for _ in $(seq 100); do
  question=$(xdotool search --onlyvisible --name '^Velmora: Tools NVX - ' | grep -v "^$window\$" | head -1 || true)
  [ -n "$question" ] && break
  sleep 0.1
done
echo "question $question"
xdotool key alt+o
code=0
wait "$tool" || code=$?
echo "exit $code"
