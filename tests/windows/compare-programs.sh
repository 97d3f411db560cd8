#!/usr/bin/env bash
# The shipped 32-bit program and the 64-bit build over one device set in one
# 64-bit Wine prefix: both must write the device set's report, byte for byte
# the same. Run where 32-bit Wine can start (scripts/wine32 --around).
#   compare-programs.sh <32-bit camera-info.exe> <64-bit camera-info.exe> <work directory>
set -uo pipefail
exe32=$(realpath -e "$1") || exit 1
exe64=$(realpath -e "$2") || exit 1
work=$(realpath -m "$3")
wine32=/usr/lib/wine/wine
wine64=/usr/lib/wine/wine64
export WINEPREFIX="$work/prefix"
source "$(dirname "$0")/common.sh"

rm -rf "$work"
mkdir -p "$work"
wine_prefix "$wine64"
check "the prefix is a 64-bit one with a 32-bit side" test -d "$WINEPREFIX/drive_c/windows/syswow64"

# A 32-bit process reads HKCR\CLSID through the 32-bit view of the registry:
# each regedit writes its own view.
devices_reg "$work/devices.reg"
check "devices registered in the 64-bit view" "$wine64" regedit /S "$work/devices.reg"
check "devices registered in the 32-bit view" "$wine32" regedit /S "$work/devices.reg"

run() {  # run <32|64> <directory> [arguments...]: recorded as <directory>
  local wine=$wine64 exe=$exe64 dir=$2
  [ "$1" = 32 ] && wine=$wine32 exe=$exe32
  shift 2
  mkdir -p "$dir"
  (cd "$dir" && record "$dir" "$wine" "$exe" "$@")
}

expected="$work/expected.txt"
devices_report >"$expected"
for bits in 64 32; do
  run $bits "$work/run$bits"
  check "$bits-bit: exit 0, silent" exited_silently "$work/run$bits"
  check "$bits-bit: only CameraInfo.txt written" test "$(ls -A "$work/run$bits")" = CameraInfo.txt
  check "$bits-bit: the device set's report" cmp "$work/run$bits/CameraInfo.txt" "$expected"
done
if cmp -s "$work/run32/CameraInfo.txt" "$work/run64/CameraInfo.txt"; then
  passes=$((passes + 1))
  echo "the 32-bit and 64-bit reports are identical ($(wc -c <"$work/run64/CameraInfo.txt") bytes)"
else
  failures=$((failures + 1))
  echo "FAILED: the 32-bit and 64-bit reports differ:"
  diff <(od -c "$work/run32/CameraInfo.txt") <(od -c "$work/run64/CameraInfo.txt") | head -40
fi

# The 32-bit program again: arguments, a folder with a non-ASCII name, and a
# longer old report to replace.
again="$work/再次 again"
mkdir -p "$again"
head -c 20000 /dev/zero | tr '\0' '#' >"$again/CameraInfo.txt"
run 32 "$again" --verbose /out other.txt
check "32-bit again: exit 0, silent" exited_silently "$again"
check "32-bit again: the same bytes as the 64-bit report" cmp "$again/CameraInfo.txt" "$work/run64/CameraInfo.txt"

"${wine64%64}server" -k 2>/dev/null
echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
