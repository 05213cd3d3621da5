#!/usr/bin/env bash
# Starts and quits the program five times on an X server with a window manager
# (Xvfb and openbox), and checks that the window comes back where it was each
# time: the frame the manager draws must not make it creep.
# usage: scripts/check-window-position.sh PROGRAM
set -euo pipefail
program="$1"
home="$(mktemp -d)"
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$home"' EXIT

display=":$((90 + RANDOM % 100))"
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp > /dev/null 2>&1 &
export DISPLAY="$display"
export HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_RUNTIME_DIR="$home/run"
export ASAN_OPTIONS=detect_leaks=0
unset QT_QPA_PLATFORM
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
for _ in $(seq 50); do xdpyinfo > /dev/null 2>&1 && break; sleep 0.1; done
openbox > /dev/null 2>&1 &
sleep 1

positions=()
for run in 1 2 3 4 5; do
  "$program" --camera "Ball=test:ball?width=320&height=240" > /dev/null 2>&1 &
  pid=$!
  window=""
  for _ in $(seq 100); do
    window="$(xdotool search --onlyvisible --name '^Kestrelvision$' 2>/dev/null | head -1 || true)"
    [ -n "$window" ] && break
    sleep 0.1
  done
  if [ -z "$window" ]; then
    echo "run $run: no window"
    exit 1
  fi
  sleep 1
  positions+=("$(xdotool getwindowgeometry "$window" | awk '/Position/ {print $2}')")
  # Quit, which saves the settings, from the window itself.
  xdotool windowactivate --sync "$window" key ctrl+q
  for _ in $(seq 100); do kill -0 "$pid" 2> /dev/null || break; sleep 0.1; done
  kill "$pid" 2> /dev/null || true
done
echo "window positions: ${positions[*]}"
# The first start places the window itself; every later one where it was left.
for run in 2 3 4; do
  if [ "${positions[$run]}" != "${positions[1]}" ]; then
    echo "the window moved between starts"
    exit 1
  fi
done
