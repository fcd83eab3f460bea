#!/usr/bin/env bash
# Test tool: faults tovan.exe on purpose after a short session (an access
# violation, then a stack overflow), copies the crash files it wrote, and runs
# scripts/triage on them with the bundle as symbols:
#   - the access violation is named with its address, and the stack runs from
#     the faulting function (file:line) to wWinMain in runner/main.cc;
#   - the overflow's recursion is folded into one entry;
#   - symbols of another build of tovan.exe (its PDB GUID and timestamp
#     changed) are refused by name, and no frame of tovan.exe gets a name.
# Usage: triage_test.sh BUNDLE_DIR OUTPUT_DIR WINE_RUN TRIAGE
# Needs DISPLAY (ctest runs under xvfb-run) and the WINEPREFIX of the suite.
set -uo pipefail
bundle=$1
out=$2
wine_run=$3
triage=$4
rm -rf "$out"
mkdir -p "$out"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
expect() {  # expect FILE PATTERN WHAT
  if grep -qE -- "$2" "$1"; then pass "$3"; else fail "$3 (no /$2/ in $1)"; cat "$1"; fi
}

win_path() { echo "Z:${1//\//\\}"; }
channel=com.brenmo.tovan/windows_audio

# Runs a session that faults with KIND and copies the report and dump it wrote
# to $out/KIND/, leaving the prefix's crash folder as it was.
crash() {
  local kind=$1
  printf '%s\n' "$channel getCrashDumpDirectory()" "$channel setVolume({\"volume\": 0.25})" \
    >"$out/$kind.script"
  (cd "$bundle" && "$wine_run" ./tovan.exe "--script=$(win_path "$out/$kind.script")" \
      "--transcript=$(win_path "$out/$kind.transcript")" "--crash-after-script=$kind" \
      >/dev/null 2>"$out/$kind.log")
  local folder
  folder=$(sed -nE 's/^< success\("(.*)"\)\r?$/\1/p' "$out/$kind.transcript" | sed 's/\\\\/\\/g')
  folder=$("$wine_run" winepath -u "$folder" 2>/dev/null | tr -d '\r')
  local report="$folder/last_native_crash.txt"
  [ -n "$folder" ] && [ -f "$report" ] || { fail "$kind: no report in '$folder'"; return 1; }
  local dump
  dump=$(sed -nE 's/^dumpPath=.*\\([^\\]+\.dmp)\r?$/\1/p' "$report")
  mkdir -p "$out/$kind"
  mv "$report" "$out/$kind/" && mv "$folder/$dump" "$out/$kind/" ||
    { fail "$kind: dump $dump missing"; return 1; }
  local temp_copy
  temp_copy=$("$wine_run" winepath -u 'C:\users' 2>/dev/null | tr -d '\r')
  rm -f "$temp_copy"/*/Temp/tovan_crashes/"$dump"
}

if crash access-violation; then
  "$triage" "$out/access-violation" --symbols "$bundle" >"$out/av.txt" 2>&1
  code=$?
  [ "$code" -eq 0 ] && pass "access violation: triage exit 0" || fail "access violation: exit $code"
  expect "$out/av.txt" '^exception: EXCEPTION_ACCESS_VIOLATION \(0xC0000005\), writing address 0x0+\b' \
    "access violation named, with its access kind and address"
  expect "$out/av.txt" '#0 +flutter_windows\.dll!devkit::.*AccessViolation devkit/embedding/fault_on_purpose\.cc:[0-9]+' \
    "faulting function with file:line"
  expect "$out/av.txt" 'tovan\.exe!wWinMain runner/main\.cc:[0-9]+' "wWinMain in runner/main.cc"
  expect "$out/av.txt" 'unwound in the process' "frames from the dump's own stream"
  expect "$out/av.txt" '^audio: +lastAudioOp=4 \(kVolumeSet\)' "audio cells, lastAudioOp named"

  # Another build: the same program with another PDB identity and timestamp.
  mkdir -p "$out/other"
  cp "$bundle"/*.dll "$bundle"/*.pdb "$out/other/" && cp "$bundle/tovan.exe" "$out/other/"
  # The debug directory's CodeView record: "RSDS", the GUID, the age, the PDB's name.
  rsds=$(LC_ALL=C grep -obUaP '(?s)RSDS.{20}tovan\.pdb' "$out/other/tovan.exe" | head -1 | cut -d: -f1)
  printf '\x5a' | dd of="$out/other/tovan.exe" bs=1 seek=$((rsds + 4)) conv=notrunc status=none
  "$triage" "$out/access-violation" --symbols "$out/other" >"$out/other.txt" 2>&1
  code=$?
  [ "$code" -eq 3 ] && pass "another build: exit 3" || fail "another build: exit $code"
  expect "$out/other.txt" '^refused: .*another build of tovan\.exe' "another build refused by name"
  if grep -q 'tovan\.exe!' "$out/other.txt"; then
    fail "another build's tovan.exe gave names"; cat "$out/other.txt"
  else
    pass "frames of tovan.exe stay module+offset"
  fi
fi

if crash stack-overflow; then
  "$triage" "$out/stack-overflow" --symbols "$bundle" >"$out/so.txt" 2>&1
  expect "$out/so.txt" '^exception: EXCEPTION_STACK_OVERFLOW \(0xC00000FD\)' "stack overflow named"
  expect "$out/so.txt" '^  #[0-9]+-#[0-9]+: [0-9]+ times the 1 frame\(s\) below \(recursion\)' \
    "recursion folded"
  expect "$out/so.txt" 'flutter_windows\.dll!devkit::.*Recurse.* devkit/embedding/fault_on_purpose\.cc:[0-9]+' \
    "recursing function with file:line"
  expect "$out/so.txt" 'tovan\.exe!wWinMain runner/main\.cc:[0-9]+' "overflow: wWinMain in runner/main.cc"
fi

echo "$failures failed"
[ "$failures" -eq 0 ]
