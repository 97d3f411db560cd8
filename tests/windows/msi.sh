#!/usr/bin/env bash
# The Windows installer under Wine, in a fresh 64-bit prefix: installed
# silently, the installed 32-bit program run over a registered device set
# (report byte for byte), upgraded by a newer installer made here (one
# product registered, the new files in place), an older one refused over
# it, and removed (no file, folder or uninstall entry left). Run where
# 32-bit Wine can start (scripts/wine32 --around).
#   msi.sh <camera-info.msi> <work directory>
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
msi=$(realpath "$1")
work=$(realpath -m "$2")
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
# A 32-bit package's uninstall entries live in the 32-bit view of the registry.
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
entries() { "$wine32" reg query "$uninstall" /s 2>/dev/null | tr -d '\r' | grep -c 'DisplayName *REG_SZ *camera-info$'; }
entry() { "$wine32" reg query "$uninstall\\$1" /v "$2" 2>/dev/null | tr -d '\r' | awk -v name="$2" '$1 == name { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'; }
msiexec() {  # msiexec <log> <arguments...>: recorded as $work/msiexec
  local log=$1
  shift
  record "$work/msiexec" "$wine64" msiexec "$@" /qn /l*v "$("$wine64" winepath -w "$log" 2>/dev/null)"
}
windows_path() { "$wine64" winepath -w "$1" 2>/dev/null; }

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

"${wine64%64}server" -k 2>/dev/null
echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
