# Sourced by the scripts that need a screen: start_xvfb starts Xvfb on a free display (its screen
# XVFB_SCREEN, 1024x768x24 unless set), exports DISPLAY and sets xvfb_pid.
start_xvfb() {
  local fifo
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 "${XVFB_SCREEN:-1024x768x24}" -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  xvfb_pid=$!
  local number
  read -r -t 10 number <"$fifo" || { rm -f "$fifo"; echo "Xvfb did not start" >&2; return 1; }
  rm -f "$fifo"
  export DISPLAY=":$number"
}

# wait_window NAME: prints the id of the first window whose name matches NAME, waiting up to 20 s.
wait_window() {
  local id
  for _ in $(seq 100); do
    id=$(xdotool search --name "$1" 2>/dev/null | head -1) && [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.2
  done
  echo "no window named $1 appeared" >&2
  return 1
}
