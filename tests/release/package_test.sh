#!/usr/bin/env bash
# Test tool: the release, end to end, under Wine.
#   - scripts/package without folders makes a development package
#     (…-devkit-NOT-FOR-RELEASE) in its own build tree and output folder,
#     compiles nothing of devkit/ there and ships exactly the staged libraries;
#     a plugin importing a DLL nobody ships stops it, naming both; two
#     packagings give byte-identical zips, a DLL left in the build tree by an
#     earlier configuration is not shipped, tovan.exe has no link time;
#     signed with a throwaway certificate, every PE file and the MSI verify;
#   - the zip's bundle answers a scripted channel session
#     (scripts/demo-session.script);
#   - a missing engine folder, one without its import library, and our
#     development embedding stop a release's configure step with a message
#     that names the problem and where;
#   - msiexec /i /qn installs a release package (the same bundle, the release
#     identity): files, the Start-menu shortcut with the program's icon and
#     AppUserModelID, one installed-programs entry; the installed tovan.exe
#     answers a scripted call; without Windows 10's version value it is refused;
#   - the development package installs beside it, never replacing it;
#   - a later build (VERSION's +1) replaces the release in place: one entry,
#     its files; an older release (2.0.5+0) is refused;
#   - msiexec /x removes files, shortcut and entry and keeps the user's crash
#     directory.
# Install and uninstall times are printed. Runs in a Wine prefix of its own
# (build/release-test/wineprefix, made afresh), so the installer meets a clean
# machine, on a virtual display of its own.
set -uo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"
tovan_start release-test "$@"
tovan_xvfb_start || exit 1
root=$tovan_root
out="$root/build/release-test"
wine_run="$root/scripts/wine-run"
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
check() {  # check DESCRIPTION COMMAND...: passes when the command succeeds
  local what=$1; shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}

rm -rf "$out"
mkdir -p "$out"
channel=com.brenmo.tovan/windows_audio
version=$(head -n1 "$root/VERSION")
base=${version%%+*}
name="tovan-$base-windows-x64-devkit-NOT-FOR-RELEASE"
package="$root/build/package-devkit/$name"
staging="$root/build/package-devkit/staging"
tree="$root/build/windows-devkit-package"
bundle="$tree/bundle"
pe_tool() { python3 "$root/scripts/release/pe_tool.py" "$@"; }

# -- A plugin importing a DLL nobody ships stops packaging (this run also
# builds everything: the staged binaries and the development package's tree).
timeout 1500 "$root/scripts/package" >"$out/package.log" 2>&1 || { cat "$out/package.log"; fail "scripts/package"; exit 1; }
cp -r "$staging/plugins" "$out/bad-plugins"
# Same length, so the import table stays valid.
perl -pi -e 's/flutter_windows\.dll/missing_helper1.dll/g' "$out/bad-plugins/share_plus_plugin.dll"
timeout 600 "$root/scripts/package" --devkit --engine "$staging/engine" --plugins "$out/bad-plugins" \
  --app "$staging/app" >"$out/package-bad.log" 2>&1 && fail "a bundle with an unshipped DLL was packaged"
check "a plugin importing a DLL nobody ships stops packaging, naming both" \
  grep -q '^package: share_plus_plugin.dll imports missing_helper1.dll, which is neither' "$out/package-bad.log"

# -- Two packagings of one commit; a DLL an earlier configuration left in the
# build tree is not shipped.
timeout 600 "$root/scripts/package" >"$out/package.log" 2>&1 || { cat "$out/package.log"; fail "scripts/package"; exit 1; }
pass "scripts/package: $(grep -E '^package: build/package-devkit/' "$out/package.log" | sed 's|^package: build/package-devkit/||' | paste -sd ' ')"
cp "$package.zip" "$out/first.zip"
touch "$bundle/stale_plugin.dll"
timeout 600 "$root/scripts/package" >"$out/package-again.log" 2>&1 || fail "scripts/package, second time"
check "two packagings give byte-identical zips" cmp "$package.zip" "$out/first.zip"
check "tovan.exe's file properties say NOT FOR RELEASE" grep -q 'NOT FOR RELEASE' <(strings -el "$bundle/tovan.exe")
# The linker derives the PE time stamp from the content (/Brepro): never a time near now.
not_link_time() { local t; t=$(pe_tool timestamp "$bundle/tovan.exe" | awk '{print $NF}'); [ $((t > $(date +%s) - 86400 && t < $(date +%s) + 86400)) = 0 ]; }
check "tovan.exe carries no link time" not_link_time
sums_ok() { (cd "$root/build/package-devkit" && sha256sum --quiet -c SHA256SUMS && test "$(wc -l <SHA256SUMS)" -eq 4); }
check "SHA256SUMS holds the packages, the symbols and the manifest" sums_ok

devkit_sources=$(grep -c '"file": *"[^"]*/devkit/' "$tree/compile_commands.json")
check "no devkit/ source compiled in the package's tree (found $devkit_sources)" \
  test "$devkit_sources" -eq 0 -a ! -e "$tree/devkit"
same=1
for dll in "$staging"/engine/*.dll "$staging"/plugins/*.dll; do
  cmp -s "$dll" "$bundle/$(basename "$dll")" || { same=0; echo "differs: $(basename "$dll")"; }
done
check "the bundle ships the staged libraries unchanged" test "$same" -eq 1

expected_layout=$(cd "$staging" && { echo tovan.exe; ls engine/*.dll plugins/*.dll | xargs -n1 basename;
  echo data/icudtl.dat; echo data/app.so; echo data/flutter_assets/AssetManifest.json; } | LC_ALL=C sort)
zip_layout=$(unzip -Z1 "$package.zip" | sed "s|^$name/||" | LC_ALL=C sort)
check "the zip holds the bundle's layout in one folder" test "$zip_layout" = "$expected_layout"

# -- Signed with a throwaway certificate (relative paths: from the caller's folder).
(cd "$out" && openssl req -x509 -newkey rsa:2048 -nodes -keyout sign.key -out sign.crt -days 2 \
   -subj "/CN=Tovan throwaway test signer" -addext extendedKeyUsage=codeSigning >/dev/null 2>&1 &&
 timeout 600 "$root/scripts/package" --sign-cert sign.crt --sign-key sign.key >package-signed.log 2>&1) ||
  fail "signed packaging: $(tail -5 "$out/package-signed.log")"
mkdir -p "$out/signed" && unzip -q -o "$package.zip" -d "$out/signed"
verified=0
for file in "$out/signed/$name"/*.exe "$out/signed/$name"/*.dll "$package.msi"; do
  if osslsigncode verify -CAfile "$out/sign.crt" -in "$file" >"$out/verify.log" 2>&1; then
    verified=$((verified + 1))
  else
    echo "not verified: $file"; tail -3 "$out/verify.log"
  fi
done
check "signed package: tovan.exe, the DLLs and the MSI verify ($verified of 12)" test "$verified" -eq 12

# -- Configure failures, in a scratch tree (after its first configure the
# compiler checks are cached, so the second costs little).
configure() {  # configure ENGINE_DIR LOG
  timeout 300 cmake --preset windows-release -B "$out/configure" -DTOVAN_ENGINE_DIR="$1" \
    -DTOVAN_PLUGINS_DIR="$staging/plugins" -DTOVAN_APP_DIR="$staging/app" >"$2" 2>&1
}
configure "$out/no-engine" "$out/configure-missing.log" && fail "configure without an engine folder succeeded"
check "missing engine folder: the configure message names it" \
  grep -qF "TOVAN_ENGINE_DIR: the engine release folder $out/no-engine does not exist" \
  "$out/configure-missing.log"
cp -r "$staging/engine" "$out/engine-without-lib"
rm "$out/engine-without-lib/flutter_windows.dll.lib"
configure "$out/engine-without-lib" "$out/configure-nolib.log" &&
  fail "configure without the import library succeeded"
check "engine folder without import library: the configure message names it" \
  grep -qF "TOVAN_ENGINE_DIR: missing flutter_windows.dll.lib in $out/engine-without-lib" \
  "$out/configure-nolib.log"
configure "$staging/engine" "$out/configure-devkit.log" && fail "a release configured with the development embedding"
check "a release refuses the development embedding, naming it" \
  grep -qF "$staging/engine/flutter_windows.dll is our development embedding" "$out/configure-devkit.log"

# -- Wine.
export WINEPREFIX="$out/wineprefix" WINEDEBUG=-all
_tovan_prefix=$WINEPREFIX  # ended on exit (scripts/lib.sh)
timeout 300 "$wine_run" wineboot -i >/dev/null 2>&1
timeout 300 "$wineserver" -w
win_path() { echo "Z:${1//\//\\}"; }

# session NAME EXE SCRIPT_TEXT: runs EXE (a Windows path) with the script, from
# a folder other than the program's; the transcript is $out/NAME.transcript.
session() {
  printf '%s\n' "$3" >"$out/$1.script"
  (cd "$out" && timeout 120 "$wine_run" "$2" "--script=$(win_path "$out/$1.script")" \
     "--transcript=$(win_path "$out/$1.transcript")" >"$out/$1.log" 2>&1)
}

mkdir -p "$out/unzipped"
unzip -q "$package.zip" -d "$out/unzipped"
session zip "$(win_path "$out/unzipped/$name/tovan.exe")" \
  "$(cat "$root/scripts/demo-session.script")"
code=$?
calls=$(grep -cvE '^(#|$)' "$root/scripts/demo-session.script")
transcript=$(cat "$out/zip.transcript" 2>/dev/null)
# Every call reaches the audio channel and is answered; the volume is accepted.
if [ "$code" -eq 0 ] && [ "$(grep -c '^> ' <<<"$transcript")" -eq "$calls" ] &&
   [ "$(grep -c '^< ' <<<"$transcript")" -eq "$calls" ] &&
   ! grep -qE '^(< no (reply|handler)|!)' <<<"$transcript" &&
   grep -qx '< success(true)' <<<"$transcript" && grep -qx end <<<"$transcript"; then
  pass "the zip's bundle answers the demonstration session ($calls calls)"
else
  fail "zip session: exit $code, transcript:"; echo "$transcript"
fi

drive="$WINEPREFIX/drive_c"
program_dir="$drive/Program Files/Tovan Phone"
# Windows puts a per-machine package's shortcut in the all-users Programs
# folder; Wine 8 puts it in the installing user's.
shortcut_in() { find "$drive/ProgramData" "$drive/users" -path '*/Start Menu/Programs/Tovan Phone.lnk'; }
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
# The installed-programs entries named $1 (default "Tovan Phone"), one "KEY VERSION" a line.
entries() {
  "$wine_run" reg query "$uninstall_key" /s 2>/dev/null | tr -d '\r' | awk -v want="${1:-Tovan Phone}" '
    /^HKEY/ {key = $0; name = ""; version = ""}
    $1 == "DisplayName" {sub(/^ *DisplayName +REG_SZ +/, ""); name = $0}
    $1 == "DisplayVersion" {version = $3}
    /^$/ && name == want {print key, version; name = ""}
    END {if (name == want) print key, version}'
}
since() { awk -v a="$1" -v b="$EPOCHREALTIME" 'BEGIN {printf "%.2f s", b - a}'; }
# run_msiexec NAME ARGS...: with its own log; prints when msiexec returned and
# when every Wine process of the prefix (the installer service too) had ended.
run_msiexec() {
  local start=$EPOCHREALTIME code returned
  timeout 300 "$wine_run" msiexec "${@:2}" /qn /l*v "$(win_path "$out/$1-msiexec.log")" >/dev/null 2>&1
  code=$?
  returned=$(since "$start")
  timeout 300 "$wineserver" -w
  echo "$1: msiexec exit $code, returned after $returned, Wine idle after $(since "$start")"
  return $code
}

# -- A release package of the same bundle: refused by Windows 7 (a new Wine
# prefix's version), installed by Windows 10.
"$root/scripts/installer/make-msi" "$bundle" "$version" "$out/release.msi" >"$out/release-msi.log" 2>&1 ||
  fail "make-msi $version: $(cat "$out/release-msi.log")"
check "the shortcut carries the AppUserModelID com.brenmo.TovanPhone" \
  grep -qP '^AppUserModelId\tStartMenuShortcut\t\{9F4C2855-9F79-4B39-A8D0-E1D42DE1D5F3\}, 5\tcom\.brenmo\.TovanPhone\t' \
  <(msiinfo export "$out/release.msi" MsiShortcutProperty)
timeout 120 "$wine_run" winecfg -v win7 >/dev/null 2>&1
run_msiexec windows-7 /i "$(win_path "$out/release.msi")" && fail "installed on Windows 7"
check "refused on Windows 7 by the launch condition" \
  grep -q 'LaunchConditions. Return value 0' "$out/windows-7-msiexec.log"
timeout 120 "$wine_run" winecfg -v win10 >/dev/null 2>&1
timeout 300 "$wineserver" -w

# -- Install.
check "msiexec /i" run_msiexec install /i "$(win_path "$out/release.msi")"
installed_layout=$(cd "$program_dir" 2>/dev/null && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
check "the installed files are the bundle's" test "$installed_layout" = "$expected_layout"
shortcut=$(shortcut_in)
check "the Start-menu shortcut \"Tovan Phone\" exists (${shortcut#"$drive"/})" test -f "$shortcut"
# It starts the installed program and shows the package's copy of the
# program's icon, which Windows Installer keeps in its own folder.
lnk_text=$(strings -n 4 "$shortcut" 2>/dev/null; strings -n 4 -el "$shortcut" 2>/dev/null)
icon_copy=$(find "$drive/windows/Installer" -name TovanIcon.ico 2>/dev/null | head -1)
shortcut_ok() {
  grep -qi 'Program Files\\Tovan Phone\\tovan.exe' <<<"$lnk_text" &&
    grep -q 'TovanIcon.ico' <<<"$lnk_text" && cmp -s "$icon_copy" "$root/runner/resources/app_icon.ico"
}
check "the shortcut starts the installed tovan.exe with the program's icon" shortcut_ok
first=$(entries)
check "one installed-programs entry, version $base ($first)" \
  test "$(wc -l <<<"$first")" -eq 1 -a "$(awk '{print $NF}' <<<"$first")" = "$base"

session installed 'C:\Program Files\Tovan Phone\tovan.exe' "$channel setVolume({\"volume\": 0.25})"
check "the installed tovan.exe answers a scripted call" \
  grep -qx '< success(true)' "$out/installed.transcript"

crash_dir=$(find "$drive/users" -path '*/AppData/Roaming/com.brenmoworks/tovan/BrenmoTovan/crashes' \
              -type d 2>/dev/null | head -1)
check "the program made its crash directory" test -n "$crash_dir"
[ -z "$crash_dir" ] || echo "the user's report" >"$crash_dir/kept-by-uninstall.txt"

# -- The development package installs beside the release, never over it.
check "msiexec /i of the development package" run_msiexec devkit /i "$(win_path "$package.msi")"
check "beside the release: both entries, the release's unchanged, its own folder" \
  test "$(entries)" = "$first" -a "$(entries "Tovan Phone devkit (NOT FOR RELEASE)" | wc -l)" -eq 1 \
       -a -f "$drive/Program Files/Tovan Phone devkit NOT FOR RELEASE/tovan.exe"
check "msiexec /x of the development package" run_msiexec devkit-remove /x "$(win_path "$package.msi")"
check "the release is still installed" test "$(entries)" = "$first" -a -f "$program_dir/tovan.exe"

# -- A later build replaces it in place.
next_build=$((${version##*+} + 1))
cp -r "$bundle" "$out/bundle-next"
echo '{"build": 1}' >"$out/bundle-next/data/flutter_assets/AssetManifest.json"
echo "only in build 1" >"$out/bundle-next/data/flutter_assets/NOTICES"
"$root/scripts/installer/make-msi" "$out/bundle-next" "$base+$next_build" "$out/next.msi" >"$out/next-msi.log" 2>&1 ||
  fail "make-msi $base+$next_build: $(cat "$out/next-msi.log")"
check "msiexec /i of build $base+$next_build over $version" run_msiexec upgrade /i "$(win_path "$out/next.msi")"
second=$(entries)
check "still one entry, now version $base.$next_build ($second)" \
  test "$(wc -l <<<"$second")" -eq 1 -a "$(awk '{print $NF}' <<<"$second")" = "$base.$next_build" \
       -a "$(awk '{print $1}' <<<"$second")" != "$(awk '{print $1}' <<<"$first")"
check "the files are the later build's" \
  grep -qF '{"build": 1}' "$program_dir/data/flutter_assets/AssetManifest.json"
check "a file new in the later build is installed" test -f "$program_dir/data/flutter_assets/NOTICES"
check "the shortcut is still there" test -n "$(shortcut_in)"

"$root/scripts/installer/make-msi" "$bundle" 2.0.5+0 "$out/older.msi" >"$out/older-msi.log" 2>&1 ||
  fail "make-msi 2.0.5+0: $(cat "$out/older-msi.log")"
run_msiexec older /i "$(win_path "$out/older.msi")" && fail "an older release installed over a newer one"
check "an older release is refused and leaves the entry alone" test "$(entries)" = "$second"

# -- Uninstall.
check "msiexec /x" run_msiexec uninstall /x "$(win_path "$out/next.msi")"
left=$(find "$program_dir" -type f 2>/dev/null)
check "no program file left" test -z "$left"
check "no shortcut left" test -z "$(shortcut_in)"
check "no installed-programs entry left" test -z "$(entries)"
check "the user's crash directory is kept" test -f "$crash_dir/kept-by-uninstall.txt"

echo "$failures failed checks"
[ "$failures" -eq 0 ]
