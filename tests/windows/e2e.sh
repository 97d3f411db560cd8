#!/usr/bin/env bash
# A Windows program end to end under Wine: devices registered in a fresh
# prefix, the program run in temporary directories, the report compared byte
# for byte with what the device set must give; then, with a stand-in for a
# driver's code loaded into it, the error mode the program runs with.
#   e2e.sh <camera-info.exe> <error_mode_probe.dll> <work directory>
# WINE is the project's Wine that runs the program and regedit and makes the
# prefix (scripts/wine64 unless set; scripts/wine32 makes a 64-bit prefix, in
# which the 32-bit program runs as on 64-bit Windows).
set -uo pipefail
exe=$(realpath -e "$1") || exit 1
probe=$(realpath -e "$2") || exit 1
work=$(realpath -m "$3")
wine=${WINE:-$(dirname "$0")/../../scripts/wine64}
export WINEPREFIX="$work/prefix"
source "$(dirname "$0")/common.sh"

rm -rf "$work"
mkdir -p "$work"
"$wine" --prefix

# run <directory> [arguments...]: runs the program there, recorded as $work/run.
run() {
  local dir=$1
  shift
  mkdir -p "$dir"
  (cd "$dir" && record "$work/run" "$wine" "$exe" "$@")
}
quiet_and_zero() { exited_silently "$work/run"; }
report_is() {  # report_is <file> <expected text>
  cmp -s "$1" <(printf '%s' "$2") || { echo "--- got:"; od -c "$1" | head -40; return 1; }
}

# No device at all.
run "$work/empty"
check "no device: exit 0, silent" quiet_and_zero
check "no device: null report" report_is "$work/empty/CameraInfo.txt" $'null\n'

# A report that cannot be written: a directory stands in its place.
mkdir -p "$work/blocked/CameraInfo.txt"
run "$work/blocked"
check "unwritable: exit 0, silent" quiet_and_zero
check "unwritable: nothing replaced" test -d "$work/blocked/CameraInfo.txt"

devices_reg "$work/devices.reg"
"$wine" regedit /S "$work/devices.reg"
expected="$(devices_report)
"
mkdir -p "$work/devices"
head -c 20000 /dev/zero | tr '\0' '#' >"$work/devices/CameraInfo.txt"
run "$work/devices" --verbose /out other.txt
check "devices: exit 0, silent, arguments ignored" quiet_and_zero
check "devices: exact report over a longer old one" report_is "$work/devices/CameraInfo.txt" "$expected"
run "$work/devices"
check "second run: exit 0, silent" quiet_and_zero
check "second run: only its own report" report_is "$work/devices/CameraInfo.txt" "$expected"
check "second run: no other file" test "$(ls -A "$work/devices")" = CameraInfo.txt

# Links under the report's name are replaced, never followed.
mkdir -p "$work/linked" "$work/dangling" "$work/elsewhere"
printf precious >"$work/elsewhere/precious"
ln -s "$work/elsewhere/precious" "$work/linked/CameraInfo.txt"
ln -s "$work/elsewhere/created" "$work/dangling/CameraInfo.txt"
for case in linked dangling; do
  run "$work/$case"
  check "$case: exit 0, silent" quiet_and_zero
  check "$case: the link is replaced by the report" test -f "$work/$case/CameraInfo.txt" -a ! -L "$work/$case/CameraInfo.txt"
  check "$case: exact report" report_is "$work/$case/CameraInfo.txt" "$expected"
  check "$case: no other file" test "$(ls -A "$work/$case")" = CameraInfo.txt
done
check "linked: the link's target is untouched" test "$(cat "$work/elsewhere/precious")" = precious
check "dangling: nothing made where the link pointed" test ! -e "$work/elsewhere/created"

# A driver's code that COM loads into the program must find the error mode
# that keeps system dialogs away (SEM_FAILCRITICALERRORS,
# SEM_NOGPFAULTERRORBOX and SEM_NOOPENFILEERRORBOX: 8003). The probe takes
# the system device enumerator's place, so this comes last.
mkdir -p "$WINEPREFIX/drive_c/probe"
cp "$probe" "$WINEPREFIX/drive_c/probe/error_mode_probe.dll"
{
  printf 'Windows Registry Editor Version 5.00\r\n\r\n'
  printf '[HKEY_CLASSES_ROOT\\CLSID\\{62BE5D10-60EB-11D0-BD3B-00A0C911CE86}\\InprocServer32]\r\n'
  printf '@="C:\\\\probe\\\\error_mode_probe.dll"\r\n"ThreadingModel"="Both"\r\n\r\n'
} >"$work/probe.reg"
"$wine" regedit /S "$work/probe.reg"
run "$work/mode"
check "error mode: exit 0, silent" quiet_and_zero
check "error mode: the driver's code was loaded" test -f "$work/mode/error-mode.txt"
check "error mode: 8003 in force (found $(cat "$work/mode/error-mode.txt" 2>/dev/null))" \
  test "$(tr -d '\r\n' <"$work/mode/error-mode.txt" 2>/dev/null)" = 8003
check "error mode: no enumerator, null report" report_is "$work/mode/CameraInfo.txt" $'null\n'

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
