# A private virtual desktop: Xvfb with RandR, openbox and picom, on a free
# display number. Source this file, then `desktop_start [WxH]`; `desktop_stop`
# (also run on exit) ends exactly the processes it started.

DESKTOP_PIDS=()

desktop_start() {
  local attempt
  # Another program claiming a display number at the same moment can make
  # the server give up; try again.
  for attempt in 1 2 3 4 5; do
    desktop_start_once "${1:-1440x900}" && return 0
  done
  return 1
}

desktop_start_once() {
  local size=$1
  local fifo
  fifo=$(mktemp -u /tmp/orvella-displayfd.XXXXXX)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 "${size}x24" +extension RANDR -noreset -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  DESKTOP_PIDS+=($!)
  local number
  if ! read -r -t 10 number <"$fifo" || [ -z "$number" ]; then
    echo "desktop: Xvfb did not start" >&2
    rm -f "$fifo"
    kill "${DESKTOP_PIDS[-1]}" 2>/dev/null || true
    unset 'DESKTOP_PIDS[-1]'
    return 1
  fi
  rm -f "$fifo"
  export DISPLAY=":$number"
  openbox --sm-disable >/dev/null 2>&1 &
  DESKTOP_PIDS+=($!)
  picom --backend xrender --no-fading-openclose >/dev/null 2>&1 &
  DESKTOP_PIDS+=($!)
  # Wait until the window manager has claimed the screen.
  for _ in $(seq 50); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
  done
}

desktop_stop() {
  local pid
  for pid in "${DESKTOP_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${DESKTOP_PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  DESKTOP_PIDS=()
}
