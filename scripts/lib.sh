# Sourced by the scripts (never run): what they share, so that each script
# keeps to what is its own and leaves nothing behind, Ctrl-C included.
#
#   tovan_start NAME "$@"   the script's name and command for messages; refuses
#                            root over another user's checkout; installs the
#                            exit traps; a temporary folder (TMPDIR) of its own,
#                            removed last
#   tovan_on_exit COMMAND    runs COMMAND (a shell text) when the script ends,
#                            however it ends (EXIT, INT, TERM, HUP); last in,
#                            first run
#   tovan_lock               one run at a time in build/ (waits for the other
#                            run, naming its command and pid)
#   tovan_build LOG PRESET [TARGET...]   configure and build, output in LOG
#   tovan_wine_prefix DIR    WINEPREFIX=DIR of this script's own, made when
#                            missing; its Wine server is ended on exit
#   tovan_pulse_start        a PulseAudio daemon of its own in a runtime folder
#                            of its own (short, under /tmp), stopped on exit
#   tovan_xvfb_start [SIZE]  a virtual display of its own (DISPLAY), stopped on exit
#   tovan_wine_keep LOG      starts the prefix's Wine server and its background
#                            programs now, output in LOG, and keeps them until
#                            the script ends
#
# Seams for tests of the scripts: TOVAN_STATE_DIR (default build/) holds the
# lock, the logs and the scripts' Wine prefixes; TOVAN_LOCK_WAIT_SECONDS
# (default 7200) bounds the wait for another run, 0 refuses at once.

tovan_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
tovan_state=${TOVAN_STATE_DIR:-$tovan_root/build}
tovan_log_dir=$tovan_state/logs
tovan_wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
tovan_name=${0##*/}
_tovan_cleanups=()

tovan_on_exit() { _tovan_cleanups+=("$1"); }

_tovan_cleanup() {
  local i
  set +e
  for ((i = ${#_tovan_cleanups[@]} - 1; i >= 0; i--)); do eval "${_tovan_cleanups[i]}"; done
  _tovan_cleanups=()
  # Last, so that the steps above may still call Wine; only this script's
  # prefix, so other runs' Wine is left alone.
  if [ -n "${_tovan_prefix:-}" ]; then
    WINEPREFIX=$_tovan_prefix timeout 20 "$tovan_wineserver" -k 2>/dev/null
    _tovan_prefix=""
  fi
  # After the Wine server: its socket lives in the temporary folder, and
  # without it the server could not be found to be ended.
  if [ -n "${tovan_tmp:-}" ]; then
    rm -rf "$tovan_tmp"
    tovan_tmp=""
  fi
}

# On a signal: clean up, then end by that signal, so that a caller (a shell,
# ctest) sees the script as interrupted.
_tovan_signalled() {
  # A second signal (Ctrl-C pressed twice, a TERM passed on once more) must
  # not cut the cleanup short.
  trap '' INT TERM HUP
  trap - EXIT
  _tovan_cleanup
  trap - "$1"
  kill "-$1" "$BASHPID"
}

# tovan_start NAME "$@"
tovan_start() {
  tovan_name=$1
  shift
  tovan_command="$0${*:+ $*}"
  if [ "$(id -u)" -eq 0 ] && [ "$(stat -c %u "$tovan_root")" -ne 0 ]; then
    echo "$tovan_name: refusing to run as root over a checkout owned by $(stat -c %U "$tovan_root"):" \
         "build/ and the Wine prefixes would become root's, and that user's own runs could not" \
         "use them. Run it as $(stat -c %U "$tovan_root") (scripts/setup asks sudo for apt only)." >&2
    exit 1
  fi
  tovan_traps
  # Temporary files of everything the script starts (Wine leaves folders of
  # its own there) go to one folder, removed on exit.
  tovan_tmp=$(mktemp -d "${TMPDIR:-/tmp}/tovan-$tovan_name.XXXXXX")
  export TMPDIR=$tovan_tmp
}

# The traps; a subshell that starts things of its own calls it again (bash
# resets traps in subshells) after emptying _tovan_cleanups and tovan_tmp.
tovan_traps() {
  trap _tovan_cleanup EXIT
  trap '_tovan_signalled INT' INT
  trap '_tovan_signalled TERM' TERM
  trap '_tovan_signalled HUP' HUP
}

tovan_lock() {
  local lock=$tovan_state/lock holder wait=${TOVAN_LOCK_WAIT_SECONDS:-7200}
  # A script started by the run that holds the lock (scripts/test runs
  # scripts/package and scripts/run) is part of that run.
  [ "${TOVAN_LOCK_HELD:-}" != "$lock" ] || return 0
  mkdir -p "$tovan_state"
  exec {_tovan_lock_fd}>>"$lock"
  if ! flock -n "$_tovan_lock_fd"; then
    holder=$(cat "$lock.owner" 2>/dev/null)
    if [ "$wait" -eq 0 ]; then
      echo "$tovan_name: another run is using ${tovan_state/#$tovan_root\//}/: ${holder:-unknown};" \
           "not waiting (TOVAN_LOCK_WAIT_SECONDS=0)" >&2
      exit 1
    fi
    echo "$tovan_name: another run is using ${tovan_state/#$tovan_root\//}/: ${holder:-unknown};" \
         "waiting for it to end (up to $wait s)" >&2
    if ! flock -w "$wait" "$_tovan_lock_fd"; then
      echo "$tovan_name: ${holder:-the other run} still runs after $wait s; giving up" >&2
      exit 1
    fi
  fi
  echo "$tovan_command (pid $$)" >"$lock.owner"
  export TOVAN_LOCK_HELD=$lock
}

# Runs a command without the lock's descriptor, so that a daemon it starts
# (a sound server, a display) cannot hold the lock past the run.
_tovan_without_lock() {
  if [ -n "${_tovan_lock_fd:-}" ]; then "$@" {_tovan_lock_fd}>&-; else "$@"; fi
}

# tovan_build LOG PRESET [TARGET...]: on failure shows the end of LOG, names
# it and answers false.
tovan_build() {
  local log=$1 preset=$2 targets=()
  shift 2
  [ $# -eq 0 ] || targets=(--target "$@")
  mkdir -p "$(dirname "$log")"
  if ! { cmake --preset "$preset" >"$log" 2>&1 &&
         cmake --build --preset "$preset" -j "$(nproc 2>/dev/null || echo 2)" "${targets[@]}" \
           >>"$log" 2>&1; }; then
    tail -40 "$log"
    echo "$tovan_name: the $preset build failed; its log: $log"
    return 1
  fi
}

tovan_wine_prefix() {
  export WINEPREFIX=$1 WINEDEBUG=${WINEDEBUG:--all}
  _tovan_prefix=$1  # its server is ended on exit
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "$tovan_name: preparing the Wine prefix $WINEPREFIX (once; about a minute)"
    mkdir -p "$WINEPREFIX"
    timeout -k 10 300 "$tovan_root/scripts/wine-run" wineboot -i >/dev/null 2>&1 ||
      echo "$tovan_name: wineboot did not finish within 300 s"
  fi
  # wineboot's Wine desktop has no display; let it end, or every window the
  # script opens would be tied to it.
  timeout 60 "$tovan_wineserver" -w 2>/dev/null || "$tovan_wineserver" -k 2>/dev/null || true
}

# The first program started in a prefix also starts Wine's background programs
# (services, the desktop window), and they inherit its standard output and
# error. A program whose output someone reads to the end (ctest, a pipe) then
# seems to run until the Wine server ends. So they start here, writing to LOG,
# under a server that stays up (-p) until the script's exit ends it.
tovan_wine_keep() {
  _tovan_without_lock "$tovan_wineserver" -p >>"$1" 2>&1 </dev/null
  # A console program that opens a window station: services and the desktop.
  timeout -k 5 120 "$tovan_root/scripts/wine-run" cmd /c exit >>"$1" 2>&1 </dev/null
}

tovan_pulse_start() {
  local runtime pid base=${TMPDIR:-/tmp}
  # The daemon's socket path ($runtime/native) must fit in 108 bytes.
  [ ${#base} -le 60 ] || base=/tmp
  runtime=$(mktemp -d "$base/tovan-pulse.XXXXXX")
  export PULSE_RUNTIME_PATH=$runtime
  tovan_on_exit "rm -rf $(printf %q "$runtime")"
  if pid=$(_tovan_without_lock "$tovan_root/scripts/pulse-start"); then
    tovan_on_exit "\"\$tovan_root/scripts/pulse-stop\" $pid"
    return 0
  fi
  return 1
}

tovan_xvfb_start() {
  local dir display pid
  dir=$(mktemp -d "${TMPDIR:-/tmp}/tovan-xvfb.XXXXXX")
  tovan_on_exit "rm -rf $(printf %q "$dir")"
  mkfifo "$dir/display"
  # -displayfd: Xvfb picks a free display and writes its number once it
  # accepts connections.
  _tovan_without_lock exec Xvfb -displayfd 3 -screen 0 "${1:-1280x1024x24}" -nolisten tcp \
    3>"$dir/display" >"$dir/xvfb.log" 2>&1 </dev/null &
  pid=$!
  tovan_on_exit "kill $pid 2>/dev/null; wait $pid 2>/dev/null"
  read -r -t 30 display <"$dir/display" || true
  if [ -z "$display" ]; then
    echo "$tovan_name: the virtual display (Xvfb) did not start: $(tail -3 "$dir/xvfb.log")" >&2
    return 1
  fi
  export DISPLAY=":$display"
}
