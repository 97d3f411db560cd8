#!/usr/bin/env bash
# The Debian packages as an administrator gets them: lintian has nothing to
# say of any machine's (bar what the package overrides, and says why); this
# machine's installs with dpkg into a root of its own (never this
# machine's), the program runs from there and writes what the release
# program writes, its manual page is there, and removal leaves no file
# behind.
#   deb.sh <release program> <work directory> <camera-info.deb...>
set -uo pipefail
program=$(realpath -e "$1") || exit 1
work=$(realpath -m "$2")
shift 2
# shellcheck source=../support/checks.sh
source "$(dirname "$0")/../support/checks.sh"

rm -rf "$work"
mkdir -p "$work/root/var/lib/dpkg/info" "$work/root/var/lib/dpkg/updates" "$work/run" "$work/expected"
touch "$work/root/var/lib/dpkg/status"

deb=
for package in "$@"; do
  package=$(realpath -e "$package") || exit 1
  machine=$(dpkg-deb --field "$package" Architecture)
  [ "$machine" = "$(dpkg --print-architecture)" ] && deb=$package
  lintian --fail-on error,warning --pedantic -I "$package" >"$work/lintian-$machine.txt" 2>&1
  status=$?
  grep -v 'running with root privileges' "$work/lintian-$machine.txt"
  check "lintian: no error or warning in the package for $machine" test $status = 0
done
[ -n "$deb" ] || { echo "no package for this machine among $*"; exit 1; }

dpkg=(dpkg --root="$work/root" --log=/dev/null --force-not-root --force-bad-path)
check "dpkg -i into a root of its own" "${dpkg[@]}" -i "$deb"
check "installed: /usr/bin/camera-info" test -x "$work/root/usr/bin/camera-info"
check "installed: its manual page" test -s "$work/root/usr/share/man/man1/camera-info.1.gz"
check "installed: the manual page reads cleanly" test -z "$(zcat "$work/root/usr/share/man/man1/camera-info.1.gz" | groff -ww -z -man 2>&1)"
check "installed: its copyright" test -s "$work/root/usr/share/doc/camera-info/copyright"
(cd "$work/run" && record "$work/run" "$work/root/usr/bin/camera-info")
check "installed program: exit 0, silent" exited_silently "$work/run"
(cd "$work/expected" && "$program")
check "installed program: the release program's report" cmp "$work/run/CameraInfo.txt" "$work/expected/CameraInfo.txt"
check "dpkg knows it" test "$("${dpkg[@]}" -s camera-info 2>/dev/null | sed -n 's/^Status: //p')" = "install ok installed"

check "dpkg --purge" "${dpkg[@]}" --purge camera-info
left=$(cd "$work/root" && find . -mindepth 1 ! -path './var' ! -path './var/lib' ! -path './var/lib/dpkg' ! -path './var/lib/dpkg/*')
check "removal leaves nothing behind${left:+: $left}" test -z "$left"
check "removal leaves dpkg nothing of it" test -z "$(find "$work/root/var/lib/dpkg/info" -name '*camera-info*')"

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
