#!/usr/bin/env bash
# Test tool: what the scripts promise about what is theirs and about time.
#   - scripts/pulse-start and scripts/pulse-stop leave a PulseAudio daemon they
#     did not start running (a desktop user's; here one of this test's own,
#     under a runtime directory of its own, so that nobody else's is touched),
#     and stop the one they started;
#   - scripts/run --demo ends within its bounds, non-zero and saying why, when
#     the window never shows (a wait of 0 s) and when the scripted session
#     hangs (this test freezes the session's tovan.exe with SIGSTOP; it finds
#     that process, and only that one, by an argument unique to this run);
#   - run --demo whose tovan.exe ends at once (its development embedding
#     cannot load) says so with the exit code within seconds, and a second
#     run --demo meanwhile refuses, naming the first one's command and pid;
#   - the Windows build links from a checkout path with a space;
#   - Ctrl-C during scripts/test's Windows step leaves no process and no
#     temporary folder behind.
# The runs under test have build/'s lock, logs and prefixes in folders of
# their own (TOVAN_STATE_DIR), so that they never wait for the scripts/test
# run this test may be part of.
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

# ---- run --demo whose tovan.exe ends at once, and a second run meanwhile
# Without its embedding DLL tovan.exe cannot start (a loader error).
state="$out/run-state"
mkdir -p "$state"
start_demo exits-at-once TOVAN_STATE_DIR="$state" TOVAN_LOCK_HELD= \
  WINEDLLOVERRIDES="mscoree,mshtml=;flutter_windows=d"
first_pid=$run_pid
for _ in $(seq 1200); do grep -q "run: building" "$log" && break; sleep 0.1; done
second_log="$out/run-second.log"
env TOVAN_STATE_DIR="$state" TOVAN_LOCK_HELD= TOVAN_LOCK_WAIT_SECONDS=0 \
  timeout 60 "$root/scripts/run" --demo >"$second_log" 2>&1
second_code=$?
holder=$(sed -nE 's/.*another run is using .*\(pid ([0-9]+)\).*/\1/p' "$second_log")
if [ "$second_code" -ne 0 ] && grep -q "scripts/run --demo $marker (pid" "$second_log" &&
   [ -n "$holder" ] && tr '\0' ' ' <"/proc/$holder/cmdline" 2>/dev/null | grep -q scripts/run; then
  pass "a second run --demo refuses while the first runs, naming its command and pid"
else
  fail "second run --demo: exit $second_code, first run $first_pid"; cat "$second_log"
fi
started_shot=""
for _ in $(seq 3000); do
  grep -q "starting tovan.exe for the screenshot" "$log" && { started_shot=$SECONDS; break; }
  kill -0 "$run_pid" 2>/dev/null || break
  sleep 0.1
done
finish_demo
if [ "$code" -ne 0 ] && [ -n "$started_shot" ] && [ $((SECONDS - started_shot)) -le 30 ] &&
   grep -qE "tovan.exe exited with code [0-9]+ before its window showed" "$log" &&
   grep -q "the last lines of its output" "$log"; then
  pass "run --demo reports at once that tovan.exe ended ($(grep -oE 'exited with code [0-9]+' "$log"))"
else
  fail "run --demo with a tovan.exe that ends at once: exit $code after $elapsed s"; tail -20 "$log"
fi

# ---- a checkout path with a space: the Windows build links
copy="$out/check out/tovan"
rm -rf "$out/check out"
mkdir -p "$copy"
tar -C "$root" --exclude=./build --exclude=./.git -cf - . | tar -C "$copy" -xf -
if (cd "$copy" && CCACHE_BASEDIR="$copy" cmake --preset windows >"$out/space-build.log" 2>&1 &&
    CCACHE_BASEDIR="$copy" cmake --build --preset windows --target channel-codec -j 2 \
      >>"$out/space-build.log" 2>&1) &&
   codec=$(find "$copy/build/windows" -name channel-codec.exe | head -1) &&
   [ "$(timeout 120 "$copy/scripts/wine-run" "$codec" decode value 01 2>/dev/null | tr -d '\r')" = true ]
then
  pass "the Windows build links and runs from a path with a space"
else
  fail "the Windows build from \"$copy\""; tail -20 "$out/space-build.log"
fi
rm -rf "$out/check out"

# ---- Ctrl-C during scripts/test's Windows step
# Every process the run starts inherits the mark; temporary folders go to a
# folder of the test's own.
mark="tovan-scripts-test-$$"
tmp=$(mktemp -d /tmp/tovan-scripts-test.XXXXXX)
mkdir -p "$out/test-state"
env TOVAN_STATE_DIR="$out/test-state" TOVAN_LOCK_HELD= TMPDIR="$tmp" TOVAN_SCRIPTS_TEST_MARK="$mark" \
  TOVAN_SKIP=native,tsan,bench,release,fuzz TOVAN_TEST_FILTER='^devkit_embedding_test$' \
  python3 -c 'import os, signal, sys
# As from a terminal: SIGINT handled (a background job ignores it), and a
# process group of its own to send it to, as a terminal does.
signal.signal(signal.SIGINT, signal.SIG_DFL)
os.setsid()
os.execv(sys.argv[1], sys.argv[1:])' "$root/scripts/test" >"$out/ctrl-c.log" 2>&1 &
test_pid=$!
marked() {  # the processes that carry the mark: "pid:name command line"
  grep -lsz "^TOVAN_SCRIPTS_TEST_MARK=$mark\$" /proc/[0-9]*/environ | cut -d/ -f3 |
    while read -r p; do
      echo "$p:$(cat "/proc/$p/comm" 2>/dev/null) $({ tr '\0' ' ' <"/proc/$p/cmdline"; } 2>/dev/null)"
    done
}
# Interrupted once the test program runs under Wine, beside the display and
# the sound server.
running=""
for _ in $(seq 3000); do
  running=$(marked)
  grep -q 'devkit_embedding_test\.exe' <<<"$running" && grep -q '^[0-9]*:Xvfb' <<<"$running" &&
    grep -q '^[0-9]*:pulseaudio' <<<"$running" && break
  kill -0 "$test_pid" 2>/dev/null || break
  sleep 0.2
done
running=$(grep -c . <<<"$running")
kill -INT -- "-$test_pid" 2>/dev/null
for _ in $(seq 600); do kill -0 "$test_pid" 2>/dev/null || break; sleep 0.1; done
left=""
for _ in $(seq 100); do
  left=$(marked)
  [ -z "$left" ] && break
  sleep 0.1
done
if [ "$running" -ge 4 ] && ! kill -0 "$test_pid" 2>/dev/null && [ -z "$left" ] &&
   [ -z "$(ls -A "$tmp")" ]; then
  pass "Ctrl-C during scripts/test's Windows step leaves nothing behind ($running processes ended)"
else
  fail "Ctrl-C during scripts/test: $running processes ran; left: ${left:-none}," \
       "temporary: $(ls -A "$tmp" | tr '\n' ' ')"
  kill -KILL -- "-$test_pid" 2>/dev/null
  tail -20 "$out/ctrl-c.log"
fi
rm -rf "$tmp"

echo "$failures failed"
[ "$failures" -eq 0 ]
