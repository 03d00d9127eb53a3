# Sourced by the test scripts: start_xvfb starts a virtual 1024 x 768 screen on
# a free display, waits until it answers, exports DISPLAY and sets XVFB_PID.
start_xvfb() {
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || break
  done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  XVFB_PID=$!
  export DISPLAY=":$n"
  local i
  for i in $(seq 100); do
    xdpyinfo >/dev/null 2>&1 && return 0
    kill -0 "$XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  echo "Xvfb did not start on $DISPLAY" >&2
  return 1
}
