#!/usr/bin/env bash
# Test tool: watches tovan.exe through Wine's own debug channels, which show
# platform calls the program cannot report about itself, and takes screenshots
# of its window from the X display:
#   - the Windows Error Reporting values written before the window is
#     created, hidden, at its 96-DPI placement;
#   - COM initialised as a single-threaded apartment (model 0x2) on the main
#     thread, the thread that loads the program's libraries;
#   - "AppsUseLightTheme" 0 leads to one dark-mode attribute call (attribute
#     0x14, 4 bytes) on the window, an absent value to none;
#   - a ringtone still playing when the window closes is stopped (a null
#     PlaySoundW) while the program shuts down;
#   - PNG screenshots of the window in the light and the dark theme.
# Usage: wine_observations.sh BUNDLE_DIR OUTPUT_DIR WINE_RUN
# Needs DISPLAY (ctest runs under xvfb-run) and the WINEPREFIX of the suite.
set -uo pipefail
bundle=$1
out=$2
wine_run=$3
mkdir -p "$out"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

theme_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Themes\Personalize'
saved_theme=$(WINEDEBUG=-all "$wine_run" reg query "$theme_key" /v AppsUseLightTheme 2>/dev/null |
              tr -d '\r' | awk '/AppsUseLightTheme/ {print $3}')
restore_theme() {
  if [ -n "$saved_theme" ]; then
    WINEDEBUG=-all "$wine_run" reg add "$theme_key" /v AppsUseLightTheme /t REG_DWORD \
      /d "$((saved_theme))" /f >/dev/null 2>&1
  else
    WINEDEBUG=-all "$wine_run" reg delete "$theme_key" /v AppsUseLightTheme /f >/dev/null 2>&1
  fi
}
x11_key='HKCU\Software\Wine\X11 Driver'
saved_managed=$(WINEDEBUG=-all "$wine_run" reg query "$x11_key" /v Managed 2>/dev/null |
                tr -d '\r' | awk '/Managed/ {print $3}')
restore_managed() {
  if [ -n "$saved_managed" ]; then
    WINEDEBUG=-all "$wine_run" reg add "$x11_key" /v Managed /t REG_SZ /d "$saved_managed" /f \
      >/dev/null 2>&1
  else
    WINEDEBUG=-all "$wine_run" reg delete "$x11_key" /v Managed /f >/dev/null 2>&1
  fi
}
trap 'restore_theme; restore_managed' EXIT
set_theme() {  # set_theme 0|1|absent
  if [ "$1" = absent ]; then
    WINEDEBUG=-all "$wine_run" reg delete "$theme_key" /v AppsUseLightTheme /f >/dev/null 2>&1
  else
    WINEDEBUG=-all "$wine_run" reg add "$theme_key" /v AppsUseLightTheme /t REG_DWORD \
      /d "$1" /f >/dev/null 2>&1
  fi
}

win_path() { echo "Z:${1//\//\\}"; }

# Runs a script session: run_script NAME WINEDEBUG SCRIPT_TEXT; stderr in $out/NAME.log
run_script() {
  local name=$1 channels=$2 text=$3
  printf '%s\n' "$text" >"$out/$name.script"
  (cd "$bundle" && WINEDEBUG=$channels "$wine_run" ./tovan.exe \
      "--script=$(win_path "$out/$name.script")" \
      "--transcript=$(win_path "$out/$name.transcript")" >/dev/null 2>"$out/$name.log")
}

channel=com.brenmo.tovan/windows_audio

# -- COM on the main thread, and the dark frame.
set_theme 0
run_script dark "+loaddll,trace+ole,fixme+dwmapi" "$channel setVolume({\"volume\": 0.5})"
code=$?
[ "$code" -eq 0 ] && pass "dark run exit code 0" || fail "dark run exit code $code"
# The main thread is the one that loads tovan.exe; the log also holds the lines of
# Wine's own processes (explorer.exe initialises COM too), so look at that thread's.
main_thread=$(grep -m1 -E ':trace:loaddll:.*\\tovan\.exe"' "$out/dark.log" | cut -d: -f1)
com_model=$(grep -m1 -E "^${main_thread:-none}:trace:ole:CoInitializeEx 0+, " "$out/dark.log" |
            awk '{print $NF}')
if [ -n "$main_thread" ] && [ "$com_model" = 0x2 ]; then
  pass "CoInitializeEx(NULL, COINIT_APARTMENTTHREADED) first on the main thread $main_thread"
else
  fail "first CoInitializeEx of the main thread '${main_thread}' has model '${com_model}', not 0x2"
fi
dark_calls=$(grep -cE 'fixme:dwmapi:DwmSetWindowAttribute \([0-9A-Fa-f]+, 14, [0-9A-Fa-f]+, 4\)' \
             "$out/dark.log")
dark_thread=$(grep -m1 'fixme:dwmapi:DwmSetWindowAttribute' "$out/dark.log" | cut -d: -f1)
[ "$dark_calls" -eq 1 ] && pass "AppsUseLightTheme 0: one dark-mode attribute call" ||
  fail "AppsUseLightTheme 0: $dark_calls dark-mode attribute calls"
[ "$dark_thread" = "$main_thread" ] && pass "attribute set on the main thread" ||
  fail "attribute set on thread '$dark_thread'"

set_theme absent
run_script absent "fixme+dwmapi" "$channel setVolume({\"volume\": 0.5})"
absent_calls=$(grep -c 'fixme:dwmapi:DwmSetWindowAttribute' "$out/absent.log")
[ "$absent_calls" -eq 0 ] && pass "AppsUseLightTheme absent: no attribute call" ||
  fail "AppsUseLightTheme absent: $absent_calls attribute calls"

# -- Start-up order: the Windows Error Reporting values (written right after
# the crash handlers are installed) come before the window, which is created
# hidden (no WS_VISIBLE) at (10, 10) with 720 x 600 at 96 DPI.
run_script order "trace+reg,trace+win" "$channel setVolume({\"volume\": 0.5})"
dumps_line=$(grep -n -m1 'trace:reg:NtSetValueKey ([^,]*,L"DumpFolder"' "$out/order.log" | cut -d: -f1)
window_line=$(grep -n -m1 'WIN_CreateWindowEx L"Tovan Phone" L"FLUTTER_RUNNER_WIN32_WINDOW"' \
              "$out/order.log" | cut -d: -f1)
if [ -n "$dumps_line" ] && [ -n "$window_line" ] && [ "$dumps_line" -lt "$window_line" ]; then
  pass "DumpFolder written (line $dumps_line) before the window is created (line $window_line)"
else
  fail "DumpFolder at line '${dumps_line}', window created at line '${window_line}'"
fi
grep -m1 'WIN_CreateWindowEx L"Tovan Phone" L"FLUTTER_RUNNER_WIN32_WINDOW"' "$out/order.log" |
  grep -q 'ex=00000000 style=00cf0000 10,10 720x600 parent=0000000000000000' &&
  pass "created hidden, overlapped, at (10, 10), 720 x 600" ||
  fail "creation: $(grep -m1 'WIN_CreateWindowEx L"Tovan Phone"' "$out/order.log")"

# -- A ringtone left playing is stopped when the window closes.
wave="$out/ring.wav"
python3 - "$wave" <<'PY'
import struct, sys
n = 8000
data = bytes(160 if (i // 10) % 2 else 96 for i in range(n))
with open(sys.argv[1], "wb") as f:
    f.write(b"RIFF" + struct.pack("<I", 36 + n) + b"WAVEfmt " +
            struct.pack("<IHHIIHH", 16, 1, 1, 8000, 8000, 1, 8) + b"data" + struct.pack("<I", n) + data)
PY
wave_win=$(win_path "$wave")
run_script ringtone "trace+winmm" \
  "$channel playRingtone({\"filePath\": \"${wave_win//\\/\\\\}\"})"
grep -q '< success(true)' "$out/ringtone.transcript" && pass "ringtone started" ||
  fail "ringtone not started: $(cat "$out/ringtone.transcript")"
plays=$(grep -cE 'trace:winmm:PlaySoundW|trace:winmm:MULTIMEDIA_PlaySound' "$out/ringtone.log")
stops=$(grep -E 'trace:winmm:(PlaySoundW|MULTIMEDIA_PlaySound)' "$out/ringtone.log" |
        grep -cE "pszSound='?(0000000000000000|\(null\)|NULL)")
[ "$stops" -ge 1 ] && pass "ringtone stopped at shutdown ($plays PlaySound calls, $stops stop)" ||
  fail "no stop among $plays PlaySound calls: $(grep -m4 winmm "$out/ringtone.log")"

# -- Screenshots: the window in the light and the dark theme, at 96 DPI.
# Without a window manager Wine draws the title bar and borders only when it
# manages its windows itself.
WINEDEBUG=-all "$wine_run" reg add "$x11_key" /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
screenshot() {  # screenshot NAME
  (cd "$bundle" && WINEDEBUG=-all "$wine_run" ./tovan.exe >/dev/null 2>&1) &
  local pid=$! id=""
  for _ in $(seq 300); do
    id=$(xwininfo -name "Tovan Phone" 2>/dev/null | awk '/Window id:/ {print $4}')
    [ -n "$id" ] && xwininfo -id "$id" 2>/dev/null | grep -q IsViewable && break
    id=""
    sleep 0.1
  done
  if [ -n "$id" ]; then
    sleep 1.5
    local size
    size=$(xwininfo -id "$id" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}')
    [ "$size" = "720x600" ] && pass "$1: window of 720 x 600" || fail "$1: window of $size"
    import -window "$id" "$out/$1.png" && pass "screenshot $out/$1.png" || fail "import failed"
  else
    fail "window never shown for screenshot $1"
  fi
  WINEDEBUG=-all "$wine_run" taskkill /im tovan.exe >/dev/null 2>&1
  wait "$pid"
  local code=$?
  [ "$code" -eq 0 ] && pass "closed with WM_CLOSE: exit code 0" || fail "$1: exit code $code"
}
set_theme 1
screenshot window-light
set_theme 0
screenshot window-dark

echo "$failures failures"
[ "$failures" -eq 0 ]
