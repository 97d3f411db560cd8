#!/usr/bin/env bash
# The Windows installers under Wine, in a fresh 64-bit prefix. The 32-bit
# one: installed silently, the installed program run over a registered
# device set (report byte for byte), upgraded by a newer installer made here
# (one product registered, the new files in place), an older one refused
# over it, and removed (no file, folder or uninstall entry left). The 64-bit
# one: installed, its program lists a device registered only for 64-bit
# programs, which the 32-bit program does not; the 32-bit one replaces it at
# the same version and it replaces that back, a newer one of either replaces
# it, and an older one over a newer is refused; removed, nothing is left.
# Run where 32-bit Wine can start (scripts/wine32 --around).
#   msi.sh <camera-info-x86.msi> <camera-info-x64.msi> <work directory>
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
msi=$(realpath -e "$1") || exit 1
msi64=$(realpath -e "$2") || exit 1
work=$(realpath -m "$3")
wine32=/usr/lib/wine/wine
wine64=/usr/lib/wine/wine64
export WINEPREFIX="$work/prefix"
source "$here/common.sh"

rm -rf "$work"
mkdir -p "$work"
wine_prefix "$wine64"
# What the installer holds, to compare what it installs with.
msiextract -C "$work/packed" "$msi" >/dev/null
exe=$(find "$work/packed" -name camera-info.exe)
readme=$(find "$work/packed" -name README.md)

property() { msiinfo export "$1" Property | tr -d '\r' | awk -v name="$2" '$1 == name { print $2 }'; }
version=$(property "$msi" ProductVersion)
product=$(property "$msi" ProductCode)
installed="$WINEPREFIX/drive_c/Program Files (x86)/camera-info"
installed64="$WINEPREFIX/drive_c/Program Files/camera-info"
# A package's uninstall entries live in its own view of the registry: the
# 32-bit one's where 32-bit programs read, the 64-bit one's where 64-bit
# programs read. Apps shows both.
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
entries() {
  { "$wine32" reg query "$uninstall" /s 2>/dev/null; "$wine64" reg query "$uninstall" /s 2>/dev/null; } |
    tr -d '\r' | grep -c 'DisplayName *REG_SZ *camera-info$'
}
entry() {  # entry <product code> <value> [64]
  local wine=$wine32
  [ "${3:-}" = 64 ] && wine=$wine64
  "$wine" reg query "$uninstall\\$1" /v "$2" 2>/dev/null | tr -d '\r' | awk -v name="$2" '$1 == name { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'
}
windows_path() { "$wine64" winepath -w "$1" 2>/dev/null; }
msiexec() {  # msiexec <log> <arguments...>: recorded as $work/msiexec
  local log=$1
  shift
  record "$work/msiexec" "$wine64" msiexec "$@" /qn /l*v "$(windows_path "$log")"
}

msiexec "$work/install.log" /i "$(windows_path "$msi")"
check "install: msiexec /qn succeeds" succeeded "$work/msiexec"
check "install: the program in Program Files (x86)\\camera-info" cmp "$installed/camera-info.exe" "$exe"
check "install: the README beside it" cmp "$installed/README.md" "$readme"
check "install: nothing else there" test "$(ls -A "$installed" | tr '\n' ' ')" = "README.md camera-info.exe "
check "install: one entry in Apps" test "$(entries)" = 1
check "install: named camera-info" test "$(entry "$product" DisplayName)" = camera-info
check "install: its version $version" test "$(entry "$product" DisplayVersion)" = "$version"
check "install: its publisher" test "$(entry "$product" Publisher)" = "camera-info developers"
check "install: no web address" test -z "$(entry "$product" URLInfoAbout)$(entry "$product" URLUpdateInfo)$(entry "$product" HelpLink)"
check "install: no shortcut" test -z "$(find "$WINEPREFIX/drive_c" -iname '*camera-info*.lnk')"

# The installed program over a device set, in a directory of its own.
devices_reg "$work/devices.reg"
"$wine32" regedit /S "$work/devices.reg"
mkdir -p "$work/run"
(cd "$work/run" && record "$work/run" "$wine32" "$installed/camera-info.exe")
check "installed program: exit 0, silent" exited_silently "$work/run"
check "installed program: the device set's report" cmp "$work/run/CameraInfo.txt" <(devices_report)

# A newer installer over it: one product, the new files.
IFS=. read -r major minor build <<<"$version"
newer=$major.$minor.$((build + 1))
{ cat "$readme"; echo "newer $newer"; } >"$work/README.md"
"$here/../../scripts/make-msi" "$newer" "$exe" "$work/README.md" "$work/newer.msi" >/dev/null
newer_product=$(property "$work/newer.msi" ProductCode)
check "upgrade: the newer installer is another product" test "$newer_product" != "$product"
msiexec "$work/upgrade.log" /i "$(windows_path "$work/newer.msi")"
check "upgrade: msiexec /qn succeeds" succeeded "$work/msiexec"
check "upgrade: one entry in Apps" test "$(entries)" = 1
check "upgrade: it is the newer one" test "$(entry "$newer_product" DisplayVersion)" = "$newer"
check "upgrade: the older one is gone" test -z "$(entry "$product" DisplayName)"
check "upgrade: the newer README in place" cmp "$installed/README.md" "$work/README.md"
check "upgrade: the program in place" cmp "$installed/camera-info.exe" "$exe"

# The older installer over the newer: refused, with a message that says why.
# Wine stops at the launch condition as Windows does, but answers 0 (Windows:
# 1603) and logs no text: what it did is checked instead.
check "downgrade: the older installer says why it refuses" \
  grep -q 'NOT WIX_DOWNGRADE_DETECTED.*A newer version of camera-info is already installed' \
  <(msiinfo export "$msi" LaunchCondition)
msiexec "$work/downgrade.log" /i "$(windows_path "$msi")"
check "downgrade: it stops at its launch conditions" grep -aq 'LaunchConditions. Return value 0' "$work/downgrade.log"
check "downgrade: nothing is installed" test -z "$(grep -a 'Action start.*InstallFiles\|Action start.*RegisterProduct' "$work/downgrade.log")"
check "downgrade: the newer one stays alone" test "$(entries)" = 1 -a "$(entry "$newer_product" DisplayVersion)" = "$newer"
check "downgrade: the newer README stays" cmp "$installed/README.md" "$work/README.md"

# Removal leaves nothing.
msiexec "$work/remove.log" /x "$newer_product"
check "remove: msiexec /x /qn succeeds" succeeded "$work/msiexec"
check "remove: no folder left" test ! -e "$installed"
check "remove: no entry in Apps" test "$(entries)" = 0

# The 64-bit installer, whose program sees what 64-bit programs see.
msiextract -C "$work/packed64" "$msi64" >/dev/null
exe64=$(find "$work/packed64" -name camera-info.exe)
product64=$(property "$msi64" ProductCode)
check "x64: the same product line as the x86 installer" \
  test "$(property "$msi64" UpgradeCode)" = "$(property "$msi" UpgradeCode)" -a "$(property "$msi64" ProductVersion)" = "$version"
check "x64: a product code of its own" test "$product64" != "$product"
check "x64: a 64-bit package" grep -q '^Template: x64;' <(msiinfo suminfo "$msi64")
msiexec "$work/install64.log" /i "$(windows_path "$msi64")"
check "x64 install: msiexec /qn succeeds" succeeded "$work/msiexec"
check "x64 install: the 64-bit program in Program Files\\camera-info" cmp "$installed64/camera-info.exe" "$exe64"
check "x64 install: the README beside it, nothing else" test "$(ls -A "$installed64" | tr '\n' ' ')" = "README.md camera-info.exe "
check "x64 install: one entry in Apps, in the 64-bit view" test "$(entries)" = 1 -a "$(entry "$product64" DisplayVersion 64)" = "$version"

# A video source registered for 64-bit programs only, as many virtual
# cameras are: the 64-bit program lists it, the 32-bit one does not.
{
  printf 'Windows Registry Editor Version 5.00\r\n\r\n'
  registry_device 'x64 only usb#vid_6464&pid_0064&mi_00#' 'Virtual Camera for 64-bit programs'
} | { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE; } >"$work/devices64.reg"
"$wine64" regedit /S "$work/devices64.reg"
mkdir -p "$work/run64" "$work/run32"
(cd "$work/run64" && record "$work/run64" "$wine64" "$installed64/camera-info.exe")
check "x64 installed program: exit 0, silent" exited_silently "$work/run64"
check "x64 installed program: lists the device registered for 64-bit programs, and only it" cmp "$work/run64/CameraInfo.txt" \
  <(printf '[\n   {\n      "name" : "%s",\n      "pid" : "0064",\n      "vid" : "6464"\n   }\n]\n' 'Virtual Camera for 64-bit programs')
(cd "$work/run32" && record "$work/run32" "$wine32" "$exe")
check "the 32-bit program does not list it" test -z "$(grep 'Virtual Camera' "$work/run32/CameraInfo.txt")"
check "the 32-bit program lists what 32-bit programs see" cmp "$work/run32/CameraInfo.txt" <(devices_report)

# Either architecture replaces the other at the same version, and a newer
# version of either replaces an older one of either.
replaced_by() {  # replaced_by <label> <msi> <product> <bits> <folder> <gone folder>
  msiexec "$work/$1.log" /i "$(windows_path "$2")"
  check "$1: msiexec /qn succeeds" succeeded "$work/msiexec"
  check "$1: one entry in Apps, the new one" test "$(entries)" = 1 -a -n "$(entry "$3" DisplayName "$4")"
  check "$1: the program in its folder" test -f "$5/camera-info.exe"
  check "$1: the other folder is gone" test ! -e "$6"
}
replaced_by "x86 over x64" "$msi" "$product" 32 "$installed" "$installed64"
replaced_by "x64 over x86" "$msi64" "$product64" 64 "$installed64" "$installed"
replaced_by "newer x86 over x64" "$work/newer.msi" "$newer_product" 32 "$installed" "$installed64"
msiexec "$work/downgrade64.log" /i "$(windows_path "$msi64")"
check "x64 downgrade: it stops at its launch conditions" grep -aq 'LaunchConditions. Return value 0' "$work/downgrade64.log"
check "x64 downgrade: the newer x86 one stays alone" \
  test "$(entries)" = 1 -a "$(entry "$newer_product" DisplayVersion)" = "$newer" -a ! -e "$installed64"
"$here/../../scripts/make-msi" "$newer" "$exe64" "$work/README.md" "$work/newer64.msi" >/dev/null
newer_product64=$(property "$work/newer64.msi" ProductCode)
replaced_by "newer x64 over the same version's x86" "$work/newer64.msi" "$newer_product64" 64 "$installed64" "$installed"
msiexec "$work/remove64.log" /x "$newer_product64"
check "x64 remove: msiexec /x /qn succeeds" succeeded "$work/msiexec"
check "x64 remove: no folder left in either Program Files" test ! -e "$installed64" -a ! -e "$installed"
check "x64 remove: no entry in Apps" test "$(entries)" = 0

"${wine64%64}server" -k 2>/dev/null
echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
