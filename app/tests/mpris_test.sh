#!/usr/bin/env bash
# The media keys: runs carvel on a private session bus with a one-chart playlist and drives it
# through MPRIS 2 with gdbus, as a sound applet would; then starts it without any session bus.
# Usage: mpris_test.sh CARVEL DEMO_CHART. Exit 77 (skipped) without dbus-run-session or gdbus.
set -euo pipefail
carvel=$1
demo=$2
if ! command -v dbus-run-session >/dev/null || ! command -v gdbus >/dev/null; then
  echo "dbus-run-session or gdbus is missing: skipped"
  exit 77
fi
if [ -z "${MPRIS_TEST_BUS:-}" ]; then
  exec env MPRIS_TEST_BUS=1 dbus-run-session -- "$0" "$@" 2> >(grep -v 'fd limit' >&2)
fi

work=$(mktemp -d)
app=
monitor=
trap 'kill $app $monitor 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/run"
chmod 700 "$work/run"
cp "$carvel" "$work/bin/carvel"
printf 'Demo>%s\r\n' "$demo" >"$work/bin/cuebook.dat"
export HOME=$work XDG_RUNTIME_DIR=$work/run QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy

failed=0
check() {  # check WHAT EXPECTED ACTUAL: EXPECTED is a grep pattern
  if grep -q -- "$2" <<<"$3"; then
    echo "ok: $1"
  else
    echo "FAILED: $1: expected $2, got $3"
    failed=1
  fi
}
player=(gdbus call --session --dest org.mpris.MediaPlayer2.carvel
        --object-path /org/mpris/MediaPlayer2)
get() { "${player[@]}" --method org.freedesktop.DBus.Properties.Get "$1" "$2"; }
send() { "${player[@]}" --method "org.mpris.MediaPlayer2.$1" >/dev/null; }
status() { get org.mpris.MediaPlayer2.Player PlaybackStatus; }
# Every change of the status is signalled: waits (5 s at most) for the last PropertiesChanged that
# carries PlaybackStatus to tell the status read now.
signalled() {
  local now last
  now=$(status | grep -o "'[A-Za-z]*'")
  for _ in $(seq 50); do
    last=$(grep -o "'PlaybackStatus': <'[A-Za-z]*'>" "$work/signals" | tail -1)
    [ "$last" = "'PlaybackStatus': <$now>" ] && break
    sleep 0.1
  done
  check "$1 is signalled as read ($now)" "'PlaybackStatus': <$now>" "$last"
}

gdbus monitor --session --dest org.mpris.MediaPlayer2.carvel >"$work/signals" 2>&1 &
monitor=$!
"$work/bin/carvel" >"$work/log" 2>&1 &
app=$!
for _ in $(seq 100); do
  gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
    --method org.freedesktop.DBus.NameHasOwner org.mpris.MediaPlayer2.carvel | grep -q true &&
    break
  sleep 0.1
done

check "identity" "'Carvel'" "$(get org.mpris.MediaPlayer2 Identity)"
check "desktop entry" "'org.carvel_player.Carvel'" "$(get org.mpris.MediaPlayer2 DesktopEntry)"
check "idle at start" "'Stopped'" "$(status)"
send Player.Play
check "Play starts the playlist" "'Playing'" "$(status)"
# The chart loads off the window thread: its fields show once the load has ended (10 s at most).
for _ in $(seq 100); do
  metadata=$(get org.mpris.MediaPlayer2.Player Metadata)
  grep -q "xesam:artist" <<<"$metadata" && break
  sleep 0.1
done
check "title" "'xesam:title': <'カーヴェルの朝'>" "$metadata"
check "artist" "'xesam:artist': <\['Carvel 制作チーム'\]>" "$metadata"
grep -q "'mpris:length': <int64 [1-9]" <<<"$metadata" && echo "ok: length" ||
  { echo "FAILED: no mpris:length in $metadata"; failed=1; }
check "the stage picture" "'mpris:artUrl': <'file://.*/title.bmp'>" \
  "$(grep -o "'mpris:artUrl': <'file://.*/title.bmp'>" <<<"$metadata" || true)"
if "${player[@]}" --method org.freedesktop.DBus.Properties.Set org.mpris.MediaPlayer2.Player \
  PlaybackStatus "<'Playing'>" >/dev/null 2>&1; then
  echo "FAILED: Set on a read-only property answered without an error"
  failed=1
else
  echo "ok: Set on a read-only property is an error"
fi
position() { get org.mpris.MediaPlayer2.Player Position | grep -o '[0-9]\+' | tail -1; }
signalled "Play"
send Player.Pause
check "Pause holds" "'Paused'" "$(status)"
signalled "Pause"
held=$(position)
check "the position holds while paused" "$held" "$(position)"
send Player.PlayPause
check "PlayPause plays on" "'Playing'" "$(status)"
signalled "PlayPause"
send Player.PlayPause
check "PlayPause holds again" "'Paused'" "$(status)"
send Player.Play
check "Play plays on" "'Playing'" "$(status)"
"${player[@]}" --method org.mpris.MediaPlayer2.Player.Seek 20000000 >/dev/null
moved=$(position)
if [ "$moved" -ge 20000000 ]; then
  echo "ok: Seek moves the position 20 s on ($moved us)"
else
  echo "FAILED: Seek: position $moved us"
  failed=1
fi
send Player.Stop
check "Stop" "'Stopped'" "$(status)"
signalled "Stop"
send Player.Next
check "Next plays the next entry" "'Playing'" "$(status)"
signalled "Next"
send Player.Previous
check "Previous plays the one before" "'Playing'" "$(status)"
# The monitor prints the signal a moment after the call returns.
for _ in $(seq 100); do grep -q 'PlaybackStatus.*Stopped' "$work/signals" && break; sleep 0.1; done
check "PropertiesChanged tells the status" "PlaybackStatus.*Stopped" "$(cat "$work/signals")"
send Quit
for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$app" 2>/dev/null; then
  echo "FAILED: Quit did not end the program"
  failed=1
else
  echo "ok: Quit ends the program"
fi
app=

# No session bus at all: the program starts and ends as usual. It is up once its instance socket
# listens (the signal handling is in place before that).
rm -f "$work"/run/*.socket
env -u DBUS_SESSION_BUS_ADDRESS "$work/bin/carvel" >"$work/log" 2>&1 &
app=$!
for _ in $(seq 100); do
  compgen -G "$work/run/*.socket" >/dev/null && break
  kill -0 "$app" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$app" 2>/dev/null && kill -TERM "$app" && wait "$app"; then
  echo "ok: without a session bus the program runs and ends"
else
  echo "FAILED: without a session bus"
  cat "$work/log"
  failed=1
fi
app=
exit $failed
