#!/usr/bin/env bash
# The real window on an X server with a window manager (Xvfb and openbox):
# - ten starts and quits leave it where it was: the manager's frame must not
#   make it creep;
# - a position that a smaller screen no longer shows brings it back on it;
# - a 1920 x 1080 camera on a 1024 x 768 screen gives a window inside it;
# - resized, the picture keeps its aspect ratio between bars;
# - closing it without a notification area minimises it, and Ctrl+Q quits;
#   with one (trayer), closing hides it in the tray and recording goes on.
# usage: scripts/check-desktop-window.sh PROGRAM
set -euo pipefail
program="$1"
home="$(mktemp -d)"
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$home"' EXIT
export HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_RUNTIME_DIR="$home/run"
export ASAN_OPTIONS=detect_leaks=0
unset QT_QPA_PLATFORM DBUS_SESSION_BUS_ADDRESS
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
camera="Ball=test:ball?width=320&height=240"

fail() { echo "FAIL: $*"; exit 1; }

xvfb_pid="" wm_pid=""
# start_x WIDTHxHEIGHT: a fresh X server of that size with openbox on it.
start_x() {
  stop_x
  export DISPLAY=":$((90 + RANDOM % 100))"
  Xvfb "$DISPLAY" -screen 0 "$1x24" -nolisten tcp > /dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do xdpyinfo > /dev/null 2>&1 && break; sleep 0.1; done
  openbox > /dev/null 2>&1 &
  wm_pid=$!
  sleep 1
}
stop_x() {
  [ -n "$wm_pid" ] && kill "$wm_pid" 2> /dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2> /dev/null || true
  wait 2> /dev/null || true
  wm_pid="" xvfb_pid=""
}

pid="" window=""
# launch CAMERA: starts the program and waits for its window.
launch() {
  "$program" --camera "$1" > "$home/log" 2>&1 &
  pid=$!
  window=""
  for _ in $(seq 100); do
    window="$(xdotool search --onlyvisible --name '^Kestrelvision$' 2> /dev/null | head -1 || true)"
    [ -n "$window" ] && break
    sleep 0.1
  done
  [ -n "$window" ] || fail "no window"
  sleep 1.5
}
# Quits from the window itself (Ctrl+Q), which saves the settings, and
# checks that the program ends by it.
quit() {
  xdotool windowactivate --sync "$window" key ctrl+q
  for _ in $(seq 100); do kill -0 "$pid" 2> /dev/null || break; sleep 0.1; done
  if kill -0 "$pid" 2> /dev/null; then
    kill "$pid"
    fail "Ctrl+Q did not end the program"
  fi
}
# Where the window's inside is on the screen, and its size.
position() { xwininfo -id "$window" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} END {print x "," y}'; }
size() { xwininfo -id "$window" | awk '/^  Width/ {w=$2} /^  Height/ {h=$2} END {print w "x" h}'; }
mapped() { xwininfo -id "$window" | awk '/Map State/ {print $3}'; }

# --- ten starts
start_x 1280x1024
positions=()
for run in $(seq 10); do
  launch "$camera"
  positions+=("$(position)")
  quit
done
echo "window positions: ${positions[*]}"
# The first start places the window itself; every later one where it was left.
for run in $(seq 1 9); do
  [ "${positions[$run]}" = "${positions[1]}" ] || fail "the window moved between starts"
done

# --- a screen that no longer shows where the window was left
launch "$camera"
xdotool windowmove --sync "$window" 1100 900
sleep 0.5
quit
start_x 800x600
launch "$camera"
read -r x y < <(position | tr ',' ' ')
echo "after the screen shrank to 800x600: $x,$y"
[ "$x" -ge 0 ] && [ "$x" -lt 800 ] && [ "$y" -ge 0 ] && [ "$y" -lt 600 ] || fail "off the screen"
quit

# --- a camera larger than the screen, on a first start
rm -rf "$XDG_CONFIG_HOME"
start_x 1024x768
launch "Big=test:ball?width=1920&height=1080&framerate=10"
sleep 2
read -r x y < <(position | tr ',' ' ')
read -r w h < <(size | tr 'x' ' ')
echo "1920x1080 camera on 1024x768: window $w x $h at $x,$y"
[ "$w" -gt 640 ] || fail "the window did not follow the camera"
[ $((x + w)) -le 1024 ] && [ $((y + h)) -le 768 ] && [ "$x" -ge 0 ] && [ "$y" -ge 0 ] ||
  fail "the window does not fit the screen"
quit

# --- resized by the user: the picture keeps its aspect between black bars
launch "Bars=test:smpte?width=640&height=360&framerate=10"
xdotool windowsize --sync "$window" 700 620
sleep 2
import -window "$window" "$home/resized.png"
# pixel X Y: the colour of the window's pixel as "R G B" in 0..255.
pixel() { convert "$home/resized.png" -format '%[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]' -crop "1x1+$1+$2" info:; echo; }
# The picture area is 670 x 508 from about (7, 37): a 16:9 picture of 670 x 376
# leaves a bar of 66 above it and below it.
read -r r g b < <(pixel 300 60)
[ "$r" -lt 30 ] && [ "$g" -lt 30 ] && [ "$b" -lt 30 ] || fail "no bar above the picture: $r $g $b"
read -r r g b < <(pixel 40 220)
[ "$r" -gt 150 ] && [ "$g" -gt 150 ] && [ "$b" -gt 150 ] || fail "no picture where expected: $r $g $b"
read -r r g b < <(pixel 300 520)
[ "$r" -lt 30 ] && [ "$g" -lt 30 ] && [ "$b" -lt 30 ] || fail "no bar below the picture: $r $g $b"
echo "resized to 700x620: the picture keeps its aspect"
quit

# --- closing without a notification area: minimised, still there
launch "$camera"
xdotool windowactivate --sync "$window" key alt+F4  # the manager asks it to close
sleep 1
kill -0 "$pid" 2> /dev/null || fail "closing ended the program"
xprop -id "$window" WM_STATE | grep -q Iconic || fail "closed without a tray, not minimised"
echo "closed without a tray: minimised"
xdotool windowactivate --sync "$window" 2> /dev/null || xdotool windowmap "$window"
sleep 0.5
quit

# --- closing with one: hidden in the tray, recording on
trayer --edge bottom --align right --widthtype pixel --width 100 > /dev/null 2>&1 &
tray_pid=$!
sleep 1
launch "$camera"
xdotool windowactivate --sync "$window" key alt+F4  # the manager asks it to close
sleep 1
kill -0 "$pid" 2> /dev/null || fail "closing ended the program"
[ "$(mapped)" = "IsUnMapped" ] || fail "closed with a tray, still shown: $(mapped)"
if xprop -id "$window" WM_STATE 2> /dev/null | grep -q Iconic; then
  fail "closed with a tray, minimised instead of hidden in the tray"
fi
echo "closed with a tray: hidden"
kill -TERM "$pid"
for _ in $(seq 100); do kill -0 "$pid" 2> /dev/null || break; sleep 0.1; done
kill -0 "$pid" 2> /dev/null && fail "SIGTERM did not end it"
kill "$tray_pid" 2> /dev/null || true
echo "ok"
