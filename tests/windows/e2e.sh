#!/usr/bin/env bash
# The Windows program end to end under 64-bit Wine: devices registered in a
# fresh prefix, the program run in temporary directories, the report compared
# byte for byte with what the device set must give.
#   e2e.sh <camera-info.exe> <work directory>
set -uo pipefail
exe=$(realpath "$1")
work=$2
wine=${WINE:-/usr/lib/wine/wine64}
export WINEDEBUG=-all WINEPREFIX="$work/prefix"

failures=0
passes=0
check() {  # check <what> <command...>
  local what=$1
  shift
  if "$@"; then
    passes=$((passes + 1))
  else
    failures=$((failures + 1))
    echo "FAILED: $what"
  fi
}

rm -rf "$work"
mkdir -p "$work"
"$wine" wineboot --init >/dev/null 2>&1

# run <directory> [arguments...]: runs the program there; leaves its exit code,
# standard output and standard error in $work/rc, $work/out, $work/err.
run() {
  local dir=$1
  shift
  (cd "$dir" && "$wine" "$exe" "$@" >"$work/out" 2>"$work/err" </dev/null)
  echo $? >"$work/rc"
}
quiet_and_zero() { [ "$(cat "$work/rc")" = 0 ] && [ ! -s "$work/out" ] && [ ! -s "$work/err" ]; }
report_is() {  # report_is <file> <expected text>
  cmp -s "$1" <(printf '%s' "$2") || { echo "--- got:"; od -c "$1" | head -40; return 1; }
}

# No device at all.
mkdir -p "$work/empty"
run "$work/empty"
check "no device: exit 0, silent" quiet_and_zero
check "no device: null report" report_is "$work/empty/CameraInfo.txt" $'null\n'

# A report that cannot be written: a directory stands in its place.
mkdir -p "$work/blocked/CameraInfo.txt"
run "$work/blocked"
check "unwritable: exit 0, silent" quiet_and_zero
check "unwritable: nothing replaced" test -d "$work/blocked/CameraInfo.txt"

# The device set. Each device is a key under the category's Instance key; its
# name becomes the display name, so the identifiers are cut out of it. Values
# are written as hex(1) so that any UTF-16 text can be registered.
utf16_hex() { printf '%s' "$1" | iconv -f UTF-8 -t UTF-16LE | od -An -v -tx1 | tr -s ' \n' ',' | sed 's/^,//'; }
value() { printf '"%s"=hex(1):%s00,00\r\n' "$1" "$(utf16_hex "$2")"; }
device() {  # device <key> [FriendlyName|-] [Description|-]
  printf '[HKEY_CLASSES_ROOT\\CLSID\\{860BB310-5D01-11D0-BD3B-00A0C911CE86}\\Instance\\%s]\r\n' "$1"
  printf '"CLSID"="{17CCA71B-ECD7-11D0-B908-00A0C9223196}"\r\n'
  [ "${2:--}" != - ] && value FriendlyName "$2"
  [ "${3:--}" != - ] && value Description "$3"
  printf '\r\n'
}
long_name=$(printf 'L%.0s' $(seq 300))
pair_at_cut="$(printf 'x%.0s' $(seq 253))📷"
{
  printf 'Windows Registry Editor Version 5.00\r\n\r\n'
  device '01 usb#vid_1a2b&pid_3c4d&mi_00#6&1c2f' 'Integrated Camera' 'Integrated Camera description'
  device '02 usb#vid_0a0b&pid_0c0d#5&3a1b' 'Only friendly'
  device '03 vid_77&pid_tail#end' - 'Only description'
  device '04 usb#vid_dead&pid_beef&' - -
  device '05 usb#VID_1A2B&PID_3C4D&MI_00#' 'Caméra intégrée 摄像头 📷'
  device '06 vid_&pid_&' $'Quote " backslash \\ tab \t escape \x1b one \x01'
  device '07 long' "$long_name"
  device '08 same vid_5&pid_6&' 'Twin'
  device '09 same vid_5&pid_6&x' 'Twin'
  device '10 cut pair' "$pair_at_cut"
} | { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE; } >"$work/devices.reg"
"$wine" regedit /S "$work/devices.reg"

entry() {  # entry <name> <pid> <vid>, all already quoted for JSON
  printf '   {\n      "name" : "%s",\n      "pid" : "%s",\n      "vid" : "%s"\n   }' "$1" "$2" "$3"
}
expected="[
$(entry 'Integrated Camera' 3c4d 1a2b),
$(entry 'Only friendly' '0c0d#5' 0a0b),
$(entry 'Only description' 'tail#end' 77),
$(entry 'Caméra intégrée 摄像头 📷' '' ''),
$(entry 'Quote \" backslash \\ tab \t escape \u001B one \u0001' '' ''),
$(entry "${long_name:0:254}" '' ''),
$(entry Twin 6 5),
$(entry Twin 6 5),
$(entry "${pair_at_cut:0:253}" '' '')
]
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

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
