#!/usr/bin/env bash
# The fleet playbook (contrib/ansible) against hosts that are this machine
# (ansible_connection=local), each with a directory of its own: two that run
# the program, one whose directory cannot be written, one where the program
# cannot run. Each good host's report is fetched, nothing it copied is left,
# and the merged document holds every host: the reports, and the failures
# with their reasons.
#   ansible.sh <Linux program> <work directory>
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
program=$(realpath "$1")
work=$(realpath -m "$2")
source "$(dirname "$0")/../support/checks.sh"

rm -rf "$work"
mkdir -p "$work/hosts/alpha" "$work/hosts/beta" "$work/expected"
echo "not a program" >"$work/not-a-program"
chmod 0755 "$work/not-a-program"
python=$(command -v python3)
cat >"$work/inventory" <<INVENTORY
[linux]
alpha camera_info_temp_parent=$work/hosts/alpha
beta camera_info_temp_parent=$work/hosts/beta
unwritable camera_info_temp_parent=/proc
unrunnable camera_info_linux_program=$work/not-a-program

[all:vars]
ansible_connection=local
ansible_python_interpreter=$python
camera_info_linux_program=$program
INVENTORY

ANSIBLE_NOCOLOR=1 ANSIBLE_LOCALHOST_WARNING=0 ANSIBLE_HOST_KEY_CHECKING=0 ansible-playbook -i "$work/inventory" \
  "$here/../../contrib/ansible/collect-cameras.yml" -e "camera_info_reports=$work/reports" >"$work/playbook.log" 2>&1
status=$?
tail -n 8 "$work/playbook.log"
check "the playbook ends well, failed hosts and all" test $status = 0

(cd "$work/expected" && "$program")
for host in alpha beta; do
  check "$host: its report fetched" cmp "$work/reports/$host.json" "$work/expected/CameraInfo.txt"
  check "$host: nothing left where it ran" test -z "$(ls -A "$work/hosts/$host")"
done
"$python" - "$work/reports/cameras.json" "$work/expected/CameraInfo.txt" <<'PY'
import json, sys
merged = json.load(open(sys.argv[1]))
expected = json.load(open(sys.argv[2]))
problems = []
if sorted(merged) != ["alpha", "beta", "unrunnable", "unwritable"]:
    problems.append("hosts %s" % sorted(merged))
for host in ("alpha", "beta"):
    if merged.get(host) != {"cameras": expected}:
        problems.append("%s is %r" % (host, merged.get(host)))
for host, reason in (("unwritable", "directory"), ("unrunnable", "Run camera-info")):
    entry = merged.get(host, {})
    if list(entry) != ["error"] or reason not in entry["error"]:
        problems.append("%s is %r" % (host, entry))
for problem in problems:
    print("FAILED: merged document: " + problem)
print("merged document: " + ("holds every host" if not problems else "%d problems" % len(problems)))
sys.exit(1 if problems else 0)
PY
check "the merged document holds every host, and why two have no report" test $? = 0

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
