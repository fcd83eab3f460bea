#!/usr/bin/env bash
# Test tool: what the scripts promise about what is theirs and about time.
#   - scripts/pulse-start and scripts/pulse-stop leave a PulseAudio daemon they
#     did not start running (a desktop user's; here one of this test's own,
#     under a runtime directory of its own, so that nobody else's is touched),
#     and stop the one they started;
#   - scripts/run --demo ends within its bounds, non-zero and saying why, when
#     the window never shows (a wait of 0 s) and when the scripted session
#     hangs (this test freezes the session's tovan.exe with SIGSTOP; it finds
#     that process, and only that one, by an argument unique to this run).
# Usage: scripts_test.sh REPOSITORY_ROOT OUTPUT_DIR
set -uo pipefail
root=$1
out=$2
mkdir -p "$out"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# ---- PulseAudio: each script stops only what it started
runtime=$(mktemp -d /tmp/tovan-scripts-test.XXXXXX)
(
  export PULSE_RUNTIME_PATH=$runtime
  setsid pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit \
    -L module-native-protocol-unix </dev/null >/dev/null 2>&1 &
  desktop=$!
  for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
  started=$("$root/scripts/pulse-start")
  [ -z "$started" ] && pass "pulse-start starts nothing while a daemon answers" ||
    fail "pulse-start started $started beside a running daemon"
  "$root/scripts/pulse-stop" "$started"
  "$root/scripts/pulse-stop" "$$"  # not a PulseAudio daemon
  kill -0 "$desktop" 2>/dev/null && pass "a daemon the scripts did not start survives" ||
    fail "the scripts stopped a daemon they did not start"
  kill "$desktop" 2>/dev/null
  wait "$desktop" 2>/dev/null
  started=$("$root/scripts/pulse-start")
  if [ -n "$started" ] && kill -0 "$started" 2>/dev/null; then
    pass "pulse-start starts a daemon when none answers"
    "$root/scripts/pulse-stop" "$started"
    kill -0 "$started" 2>/dev/null && fail "pulse-stop left its own daemon $started running" ||
      pass "pulse-stop stops the daemon pulse-start started"
  else
    fail "pulse-start started no daemon"
  fi
  exit "$failures"
) || failures=$((failures + $?))
rm -rf "$runtime"

# ---- scripts/run --demo never hangs
# Runs the demonstration in the background with the given environment under an
# outer bound that only a hang of the script itself would reach; sets run_pid
# and log. finish_demo waits for it and sets code and elapsed.
marker="--scripts-test-run-$$"
start_demo() {
  local name=$1
  shift
  log="$out/run-$name.log"
  started_at=$SECONDS
  env "$@" timeout -k 10 400 "$root/scripts/run" --demo "$marker" >"$log" 2>&1 &
  run_pid=$!
}
finish_demo() {
  wait "$run_pid"
  code=$?
  elapsed=$((SECONDS - started_at))
  echo "run --demo: exit code $code after $elapsed s"
}

start_demo window-never-shows TOVAN_RUN_WINDOW_SECONDS=0
finish_demo
if [ "$code" -ne 0 ] && [ "$code" -ne 124 ] && grep -q "the window did not show within 0 s" "$log"; then
  pass "run --demo says the window did not show and exits non-zero"
else
  fail "run --demo without a window: exit $code after $elapsed s"; tail -20 "$log"
fi

start_demo session-hangs TOVAN_RUN_SESSION_SECONDS=10
for _ in $(seq 1200); do grep -q "run: playing" "$log" && break; sleep 0.05; done
frozen=""
for _ in $(seq 200); do
  frozen=$(pgrep -f -- "^\./tovan\.exe .*$marker" | head -1)
  [ -n "$frozen" ] && break
  sleep 0.05
done
[ -n "$frozen" ] && kill -STOP "$frozen"
finish_demo
if [ -n "$frozen" ] && [ "$code" -eq 124 ] && grep -q "did not finish within 10 s" "$log"; then
  pass "run --demo ends a session that hangs, saying so"
else
  fail "run --demo with a hanging session (${frozen:-not} frozen): exit $code after $elapsed s"
  tail -20 "$log"
fi

echo "$failures failed"
[ "$failures" -eq 0 ]
