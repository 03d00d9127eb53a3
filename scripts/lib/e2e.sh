# Sourced by scripts/e2e: the harness that plays a user in front of ilhome.exe
# under Wine. A case is a shell function that runs the program and makes its
# checks with `check`; run_cases runs a list of (function, description) pairs
# and counts what passed. Every wait is for something to happen (a window to
# appear, a control to show a text, the process to end), with a time-out.

passed=0
failed=0
fail_names=()
case_failed=0

check() {  # check DESCRIPTION COMMAND...: a failed command fails the case
  if "${@:2}"; then return 0; fi
  echo "    FAIL: $1"
  case_failed=1
}

# run_cases [NAME...] with CASES=(function description ...): runs every case,
# or only the named ones.
# The cases run inside this function and may use any variable names: its own
# start with "run_".
run_cases() {
  local run_at run_fn run_name run_wanted
  for ((run_at = 0; run_at < ${#CASES[@]}; run_at += 2)); do
    run_fn=${CASES[run_at]}
    run_name=${CASES[run_at + 1]}
    if [ $# -gt 0 ]; then
      for run_wanted in "$@"; do [ "$run_wanted" = "$run_fn" ] && break; done
      [ "$run_wanted" = "$run_fn" ] || continue
    fi
    echo "--- $run_name"
    case_failed=0
    "$run_fn"
    if [ "$case_failed" = 0 ]; then
      passed=$((passed + 1)); echo "    ok"
    else
      failed=$((failed + 1)); fail_names+=("$run_name")
    fi
  done
  echo "e2e: $passed passed, $failed failed"
  [ "$failed" = 0 ] || { printf '  failed: %s\n' "${fail_names[@]}"; return 1; }
}

winpath() { printf 'Z:%s' "${1//\//\\}"; }  # /tmp/x -> Z:\tmp\x
# winprobe.exe; Wine writes CR LF line ends to a pipe, the checks compare
# plain lines.
probe() { wine "$probe" "$@" | tr -d '\r'; }
# run_ilhome VERB HOME ARCHIVE_DIR: starts ilhome.exe in the background; sets $pid.
run_ilhome() { wine "$exe" "$1" "$(winpath "$2")" "$(winpath "$3")" & pid=$!; }
# wait_exit SECONDS: waits for $pid, sets $code (124 after the time-out).
wait_exit() {
  local i=0
  while kill -0 "$pid" 2>/dev/null; do
    sleep 0.1; i=$((i + 1))
    if [ $i -gt $(($1 * 10)) ]; then kill "$pid" 2>/dev/null; code=124; return; fi
  done
  wait "$pid"; code=$?
}
# wait_until SECONDS COMMAND...: asks again every 50 ms until COMMAND succeeds.
wait_until() {
  local i
  for ((i = 0; i < $1 * 20; i++)); do
    "${@:2}" && return 0
    sleep 0.05
  done
  return 1
}
# while_busy BODY: runs `BODY SCALE` with SCALE 1, 2, then 4 until BODY has
# looked at a run while it was still going. BODY returns 75 when the run ended
# before its checks could look (a probe printed "gone"): the same work takes
# less time on a faster machine, and a window that is gone proves nothing.
while_busy() {
  local scale
  for scale in 1 2 4; do
    "$1" "$scale"
    [ $? = 75 ] || return 0
    echo "    (the run ended before the checks could look; again with $((scale * 2))x the work)"
  done
  check "the run lasted long enough to be watched" false
}
# gone FILE: the probe that wrote FILE found the window gone when it measured.
gone() { grep -qx gone "$1"; }

# The X window of a top-level window with this title, once it is mapped.
xwin() { timeout 30 xdotool search --sync --onlyvisible --name "^$1\$" 2>/dev/null | head -1; }

same_bytes() { cmp -s "$1" "$2"; }
has_text() { [ "$(cat "$1" 2>/dev/null)" = "$2" ]; }
zeros_of() { [ "$(stat -c %s "$1")" = "$2" ] && [ -z "$(tr -d '\0' < "$1")" ]; }
# zero_files DIR N: N files of a megabyte, enough to keep a run busy a while.
zero_files() {
  local i
  mkdir -p "$1"
  for i in $(seq 1000 $((999 + $2))); do head -c 1000000 /dev/zero > "$1/f$i.dat"; done
  # On disk before the run starts: written back during it, they would slow it
  # by an amount no case can plan for.
  sync
}
# What `probe ink` saw: the width of the ink, and where it starts.
ink_width() { awk '$1 == "none" || NF < 4 { print 0; next } { print $3 - $1 + 1 }'; }
ink_left() { awk 'NF < 4 { print 0; next } { print $1 }'; }
