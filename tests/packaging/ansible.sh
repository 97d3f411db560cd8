#!/usr/bin/env bash
# The fleet playbook (contrib/ansible) against hosts that are this machine
# (ansible_connection=local), each with a folder of its own, in one
# inventory: hosts whose program runs (one in a folder whose path holds a
# blank, two whose names would make other file names, "cameras" and "../x",
# one whose name is 150 Cyrillic letters), and hosts that fail each their
# own way (tests/packaging/fleet-hosts.txt: a folder that cannot be written,
# a program that cannot run, one that never ends, reports that are no camera
# reports or too large, a host that cannot be reached). Then a run limited
# to one host, with a host added to the inventory that was never collected.
# Checks: each run ends within its bound and ends well, nothing is left
# where the hosts ran nor written outside the reports folder, cameras.json is
# strict JSON and holds every host of the inventory, with its report or why
# it has none and when that was taken.
#   ansible.sh <Linux program> <work directory>
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
program=$(realpath -e "$1") || exit 1
work=$(realpath -m "$2")
source "$here/../support/checks.sh"

rm -rf "$work"
mkdir -p "$work/expected" "$work/programs"
long=$(printf 'ж%.0s' $(seq 150))
good=(alpha spaced cameras ../x "$long")
python=$(command -v python3)
# The good hosts, each in a folder of its own; then one line per failing
# host of the table: its name, its program (a shell script) or folder, and
# what its entry's error must say.
{
  echo "[linux]"
  mkdir -p "$work/hosts/alpha" "$work/hosts/with space" "$work/hosts/cameras" "$work/hosts/x" "$work/hosts/long"
  echo "alpha camera_info_temp_parent=$work/hosts/alpha"
  echo "spaced camera_info_temp_parent=\"$work/hosts/with space\""
  echo "cameras camera_info_temp_parent=$work/hosts/cameras"
  echo "../x camera_info_temp_parent=$work/hosts/x"
  echo "$long camera_info_temp_parent=$work/hosts/long"
  while IFS='|' read -r host reason how; do
    [[ $host =~ ^[a-z] ]] || continue
    mkdir -p "$work/hosts/$host"
    case $how in
      folder:*) echo "$host camera_info_temp_parent=${how#folder:}" ;;
      unreachable) echo "$host camera_info_temp_parent=$work/hosts/$host ansible_remote_tmp=/proc/camera-info-nowhere" ;;
      *)
        printf '#!/bin/sh\n%s\n' "$how" >"$work/programs/$host"
        chmod 0755 "$work/programs/$host"
        echo "$host camera_info_temp_parent=$work/hosts/$host camera_info_linux_program=$work/programs/$host"
        ;;
    esac
  done <"$here/fleet-hosts.txt"
  cat <<VARS

[all:vars]
ansible_connection=local
ansible_python_interpreter=$python
camera_info_linux_program=$program
camera_info_timeout=3
VARS
} >"$work/inventory"
# Everything outside the reports folder, and the runs' folders in /tmp.
outside() {
  (cd "$work" && find . -path ./reports -prune -o ! -name 'playbook*.log' ! -name inventory -print | sort)
  find /tmp -maxdepth 1 -name 'camera-info.*' | sort
}
(cd "$work/expected" && "$program")
before=$(outside)

# play <log> [ansible-playbook arguments...]: one run, at most 300 s.
play() {
  local log=$1 started
  shift
  started=$(date +%s)
  ANSIBLE_NOCOLOR=1 ANSIBLE_LOCALHOST_WARNING=0 ANSIBLE_HOST_KEY_CHECKING=0 timeout 300 ansible-playbook \
    -i "$work/inventory" "$here/../../contrib/ansible/collect-cameras.yml" -e "camera_info_reports=$work/reports" \
    "$@" >"$work/$log" 2>&1
  status=$?
  took=$(($(date +%s) - started))
  tail -n "$(($(grep -c '^' "$here/fleet-hosts.txt") + 10))" "$work/$log"
  echo "took $took s"
}

# merged <python lines>: checks the merged document, strict JSON, with
# `merged`, `expected` (the program's own report here), `hosts` (the
# inventory's), `table` (the failing hosts' reasons) and `problems`.
merged() {
  "$python" - "$work/reports/cameras.json" "$work/expected/CameraInfo.txt" "$here/fleet-hosts.txt" "$1" "${good[@]}" <<'PY'
import json, re, sys
def refuse(name):
    raise ValueError("not strict JSON: " + name)
merged = json.load(open(sys.argv[1], encoding="utf-8"), parse_constant=refuse)
expected = json.load(open(sys.argv[2]))
table = {}
for line in open(sys.argv[3], encoding="utf-8"):
    if re.match("[a-z]", line):
        host, reason, _ = line.rstrip("\n").split("|", 2)
        table[host] = reason
good = sys.argv[5:]
problems = []
taken = re.compile(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ\Z")
def is_report(host):
    entry = merged.get(host)
    if entry is None or sorted(entry) != ["cameras", "taken"] or entry["cameras"] != expected or not taken.match(entry["taken"]):
        problems.append("%s is %r, not its report" % (host, entry))
def is_error(host, reason):
    entry = merged.get(host)
    if entry is None or sorted(entry) != ["error", "taken"] or reason not in entry["error"] or not taken.match(entry["taken"]):
        problems.append("%s is %r, not an error saying %r" % (host, entry, reason))
exec(sys.argv[4])
for problem in problems:
    print("merged document: " + problem)
sys.exit(1 if problems else 0)
PY
}

# The playbook as ansible-lint's strictest profile reads it (offline: it
# fetches nothing).
check "ansible-lint --profile production has nothing to say" \
  ansible-lint --offline --nocolor --profile production "$here/../../contrib/ansible/collect-cameras.yml"

# The whole inventory.
play playbook.log
check "the whole run ends well, failed hosts and all" test $status = 0
check "the whole run ends in bounded time, the host that never ends included ($took s)" test $took -lt 200
check "nothing is left where the hosts ran, nor written outside the reports folder" diff <(echo "$before") <(outside)
check "the reports folder holds the merged document and the hosts' folder" \
  test "$(ls -A "$work/reports" | tr '\n' ' ')" = "cameras.json hosts "
for host in alpha spaced cameras ../x; do
  file=$("$python" -c 'import sys, urllib.parse; print(urllib.parse.quote(sys.argv[1], safe=""))' "$host")
  check "$host: its report kept as hosts/$file.json" cmp "$work/reports/hosts/$file.json" "$work/expected/CameraInfo.txt"
done
long_files=$(cd "$work/reports/hosts" && ls | grep '^%D0%B6.*~' || true)
check "the long-named host's report kept under a shortened name of at most 255 bytes" \
  test "$(echo "$long_files" | wc -l)" = 1 -a "${#long_files}" -le 255 -a "${long_files##*.}" = json
check "the merged document is strict JSON and holds every host: the reports, and why the others have none" merged '
if sorted(merged) != sorted(good + list(table)):
    problems.append("hosts %s" % sorted(merged))
for host in good:
    is_report(host)
for host, reason in table.items():
    is_error(host, reason)
'
cp "$work/reports/cameras.json" "$work/first.json"

# A run limited to one host, after a host joined the inventory.
sed -i '/^\[all:vars\]/i newcomer camera_info_temp_parent=/proc' "$work/inventory"
sleep 1  # so that this run's time differs from the first's
play playbook-limited.log --limit alpha
check "the limited run ends well" test $status = 0
check "nothing is left where alpha ran" test -z "$(ls -A "$work/hosts/alpha")"
check "the limited run writes the merged document: alpha anew, every other host as it last was" merged '
first = json.load(open(sys.argv[1].replace("reports/cameras.json", "first.json")))
if sorted(merged) != sorted(good + list(table) + ["newcomer"]):
    problems.append("hosts %s" % sorted(merged))
is_report("alpha")
if merged["alpha"]["taken"] <= first["alpha"]["taken"]:
    problems.append("alpha was taken at %s, not after the first run" % merged["alpha"]["taken"])
for host in good[1:] + list(table):
    if merged.get(host) != first[host]:
        problems.append("%s is %r, not %r as the first run left it" % (host, merged.get(host), first[host]))
if merged.get("newcomer") != {"error": "not collected yet"}:
    problems.append("newcomer is %r" % merged.get("newcomer"))
'

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
