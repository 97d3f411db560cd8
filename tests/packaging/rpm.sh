#!/usr/bin/env bash
# The RPM as an administrator of a Red Hat, Fedora or SUSE fleet gets it,
# without such a machine: rpmlint has nothing to say but what
# packaging/rpm/rpmlint.toml explains, the same inputs give the same bytes,
# it installs with rpm into a root of its own with its own database (never
# this machine's), the program runs from there and writes what the release
# program writes, rpm -V finds nothing changed, a higher version replaces it
# (one package installed), and erasing it leaves no file behind.
# The RPMs of other machines named after these get rpmlint's word too.
#   rpm.sh <camera-info.rpm> <release program> <manual page> <work directory> [<other machines' .rpm>...]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
package=$(realpath -e "$1") || exit 1
program=$(realpath -e "$2") || exit 1
manpage=$(realpath -e "$3") || exit 1
work=$(realpath -m "$4")
shift 4
machine=$(dpkg --print-architecture)
# shellcheck source=../support/checks.sh
source "$here/../support/checks.sh"
[ "$(id -u)" = 0 ] || { echo "installing an RPM, even into a root of its own, needs root (rpm gives files to root)"; exit 77; }

rm -rf "$work"
mkdir -p "$work/root" "$work/run" "$work/expected"
query() { rpm -qp --qf "%{$1}" "$package"; }
version=$(query VERSION)

rpmlint -c "$here/../../packaging/rpm/rpmlint.toml" "$package" >"$work/rpmlint.txt" 2>&1
status=$?
tail -n 3 "$work/rpmlint.txt"
check "rpmlint: no error or warning" test $status = 0 -a -n "$(grep ' 0 errors, 0 warnings' "$work/rpmlint.txt")"
for other in "$@"; do
  [ "$(realpath -e "$other")" != "$package" ] || continue
  rpmlint -c "$here/../../packaging/rpm/rpmlint.toml" "$other" >"$work/rpmlint-other.txt" 2>&1
  status=$?
  check "rpmlint: no error or warning in $(basename "$other")" \
    test $status = 0 -a -n "$(grep ' 0 errors, 0 warnings' "$work/rpmlint-other.txt")"
done
check "the package depends on nothing but rpm's own features" test -z "$(rpm -qpR "$package" | grep -v '^rpmlib(')"
"$here/../../scripts/make-rpm" "$version" "$machine" "$program" "$manpage" "$here/../../README.md" "$work/again.rpm" "$(query BUILDTIME)" >/dev/null
check "the same inputs give the same bytes" cmp "$package" "$work/again.rpm"

# Its own database at the place Red Hat gives it (Debian's rpm keeps one in $HOME).
rpm=(rpm --root "$work/root" --dbpath /var/lib/rpm)
check "rpm --initdb: a database of its own" "${rpm[@]}" --initdb
check "rpm -i into the root" "${rpm[@]}" -i "$package"
check "installed: /usr/bin/camera-info" test -x "$work/root/usr/bin/camera-info"
check "installed: its manual page" test -s "$work/root/usr/share/man/man1/camera-info.1.gz"
check "installed: the README and licence in folders named without the version" \
  test -s "$work/root/usr/share/doc/camera-info/README.md" -a -s "$work/root/usr/share/licenses/camera-info/COPYRIGHT"
check "installed: the manual page reads cleanly" test -z "$(zcat "$work/root/usr/share/man/man1/camera-info.1.gz" | groff -ww -z -man 2>&1)"
(cd "$work/run" && record "$work/run" "$work/root/usr/bin/camera-info")
check "installed program: exit 0, silent" exited_silently "$work/run"
(cd "$work/expected" && "$program")
check "installed program: the release program's report" cmp "$work/run/CameraInfo.txt" "$work/expected/CameraInfo.txt"
check "rpm -V: nothing changed" "${rpm[@]}" -V camera-info

# A higher version over it.
IFS=. read -r major minor patch <<<"$version"
higher=$major.$minor.$((patch + 1))
"$here/../../scripts/make-rpm" "$higher" "$machine" "$program" "$manpage" "$here/../../README.md" "$work/higher.rpm" >/dev/null
check "rpm -U to $higher" "${rpm[@]}" -U "$work/higher.rpm"
check "upgrade: one package installed, $higher" test "$("${rpm[@]}" -qa)" = "camera-info-$higher-1.$(query ARCH)"
check "upgrade: rpm -V, nothing changed" "${rpm[@]}" -V camera-info

check "rpm -e" "${rpm[@]}" -e camera-info
check "erased: rpm knows no package" test -z "$("${rpm[@]}" -qa)"
left=$(cd "$work/root" && find . -mindepth 1 -type f ! -path './var/lib/rpm/*')
check "erasing leaves no file behind${left:+: $left}" test -z "$left"

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
