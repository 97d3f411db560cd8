#!/usr/bin/env bash
# The fleet playbook (contrib/ansible) against hosts that are this machine
# (ansible_connection=local), each with a directory of its own: hosts that
# run the program (one in a temporary folder whose path holds a blank, and
# two whose names would make other file names: "cameras" and "../x"), one
# whose directory cannot be written, one where the program cannot run, one
# whose program writes something that is not JSON. Each good host's report
# is fetched, nothing it copied is left, nothing is written outside the
# reports folder, and the merged document holds every host under its own
# name: the reports, and the failures with their reasons.
#   ansible.sh <Linux program> <work directory>
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
program=$(realpath "$1")
work=$(realpath -m "$2")
source "$(dirname "$0")/../support/checks.sh"

rm -rf "$work"
good=(alpha spaced cameras ../x)
mkdir -p "$work/hosts/alpha" "$work/hosts/with space" "$work/hosts/cameras" "$work/hosts/x" "$work/expected"
echo "not a program" >"$work/not-a-program"
printf '#!/bin/sh\necho "not JSON at all" >CameraInfo.txt\n' >"$work/not-json"
chmod 0755 "$work/not-a-program" "$work/not-json"
python=$(command -v python3)
cat >"$work/inventory" <<INVENTORY
[linux]
alpha camera_info_temp_parent=$work/hosts/alpha
spaced camera_info_temp_parent="$work/hosts/with space"
cameras camera_info_temp_parent=$work/hosts/cameras
../x camera_info_temp_parent=$work/hosts/x
unwritable camera_info_temp_parent=/proc
unrunnable camera_info_linux_program=$work/not-a-program
notjson camera_info_linux_program=$work/not-json

[all:vars]
ansible_connection=local
ansible_python_interpreter=$python
camera_info_linux_program=$program
INVENTORY
# Everything outside the reports folder, before and after.
outside() { (cd "$work" && find . -path ./reports -prune -o ! -name playbook.log -print | sort); }
before=$(outside)

ANSIBLE_NOCOLOR=1 ANSIBLE_LOCALHOST_WARNING=0 ANSIBLE_HOST_KEY_CHECKING=0 ansible-playbook -i "$work/inventory" \
  "$here/../../contrib/ansible/collect-cameras.yml" -e "camera_info_reports=$work/reports" >"$work/playbook.log" 2>&1
status=$?
tail -n 10 "$work/playbook.log"
check "the playbook ends well, failed hosts and all" test $status = 0
check "nothing is written outside the reports folder" test "$(outside)" = "$before"
check "the reports folder holds the merged document and the hosts' folder" \
  test "$(ls -A "$work/reports" | tr '\n' ' ')" = "cameras.json hosts "

(cd "$work/expected" && "$program")
for host in "${good[@]}"; do
  file=$(python3 -c 'import sys, urllib.parse; n = urllib.parse.quote(sys.argv[1], safe=""); print(n.replace("~", "%7E"))' "$host")
  check "$host: its report fetched as hosts/$file.json" cmp "$work/reports/hosts/$file.json" "$work/expected/CameraInfo.txt"
done
for dir in alpha "with space" cameras x; do
  check "$dir: nothing left where it ran" test -z "$(ls -A "$work/hosts/$dir")"
done
"$python" - "$work/reports/cameras.json" "$work/expected/CameraInfo.txt" <<'PY'
import json, sys
merged = json.load(open(sys.argv[1]))
expected = json.load(open(sys.argv[2]))
problems = []
hosts = ["../x", "alpha", "cameras", "notjson", "spaced", "unrunnable", "unwritable"]
if sorted(merged) != hosts:
    problems.append("hosts %s" % sorted(merged))
for host in ("alpha", "spaced", "cameras", "../x"):
    if merged.get(host) != {"cameras": expected}:
        problems.append("%s is %r" % (host, merged.get(host)))
for host, reason in (("unwritable", "directory"), ("unrunnable", "Run camera-info"), ("notjson", "JSON")):
    entry = merged.get(host, {})
    if list(entry) != ["error"] or reason not in entry["error"]:
        problems.append("%s is %r" % (host, entry))
for problem in problems:
    print("merged document: " + problem)
sys.exit(1 if problems else 0)
PY
check "the merged document holds every host under its own name, and why three have no report" test $? = 0

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
