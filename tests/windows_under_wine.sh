#!/usr/bin/env bash
# Test tool: the Windows build's tests (ctest --preset windows) under Wine, in
# the test prefix (build/wineprefix), on a virtual display and with a sound
# server of their own, all ended with it, Ctrl-C or TERM included. scripts/test
# starts it beside its native steps; its output is ctest's.
# Usage: windows_under_wine.sh CTEST_ARGUMENTS...
set -uo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib.sh"
tovan_start windows-tests "$@"
cd "$tovan_root"
tovan_wine_prefix "$tovan_state/wineprefix"
# With a daemon, the live audio tests must run rather than skip.
if tovan_pulse_start 2>"$tovan_log_dir/windows-pulse.log"; then
  export TOVAN_LIVE_AUDIO=1
else
  echo "(no PulseAudio daemon: audio tests see no endpoints; build/logs/windows-pulse.log)"
fi
tovan_xvfb_start || exit 1
tovan_wine_keep "$tovan_log_dir/windows-wine.log"
ctest --preset windows "$@"
