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
# With the arm64 program too, a fleet of machines: programs keyed by what
# `uname -m` prints, a host that says its machine (this one), one said to be
# aarch64 (its program run here through QEMU, in a private binfmt_misc), one
# said to be riscv64, for which there is no program.
#   ansible.sh <Linux program> <work directory> [<arm64 Linux program>]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
program=$(realpath -e "$1") || exit 1
work=$(realpath -m "$2")
arm64_program=
[ $# -lt 3 ] || arm64_program=$(realpath -e "$3") || exit 1
# shellcheck source=../support/checks.sh
source "$here/../support/checks.sh"

rm -rf "$work"
mkdir -p "$work/expected" "$work/programs"
long=$(printf 'ж%.0s' $(seq 150))
# Names as inventories hold them: a byte that is no UTF-8, two that differ
# only in case (one file each even where the reports folder folds case),
# four that differ only in white space (a YAML inventory's).
latin1=$(printf 'caf\351')
good=(alpha spaced cameras ../x "$long" "$latin1" Lab7 lab7 "lab 7" "lab  7" "lab	7")
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
  echo "$latin1"
  echo "Lab7"
  echo "lab7"
  while IFS='|' read -r host _ how; do
    [[ $host =~ ^[a-z] ]] || continue
    mkdir -p "$work/hosts/$host"
    case $how in
      folder:*) how=${how#folder:} && echo "$host camera_info_temp_parent=${how//WORK/$work}" && rmdir "$work/hosts/$host" ;;
      vars:*) echo "$host camera_info_temp_parent=$work/hosts/$host ${how#vars:}" ;;
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
# The white space names, one failing: its error is its own.
printf '#!/bin/sh\nexit 3\n' >"$work/programs/blank-after"
chmod 0755 "$work/programs/blank-after"
cat >"$work/inventory.yml" <<YAML
all:
  hosts:
    "lab 7": {}
    "lab  7": {}
    "lab\t7": {}
    "lab 7 ": {camera_info_linux_program: "$work/programs/blank-after"}
YAML
# Everything outside the reports folder, and the runs' folders in /tmp.
outside() {
  (cd "$work" && find . -path ./reports -prune -o ! -name 'playbook*.log' ! -name 'inventory*' -print | sort)
  find /tmp -maxdepth 1 -name 'camera-info.*' | sort
}
(cd "$work/expected" && "$program")
before=$(outside)

# playbook <log> <reports folder> [ansible-playbook arguments...]: one run
# of the playbook, at most 300 s, started through the command in the array
# `through` (none unless a caller sets it); its exit code in `status`.
through=()
playbook() {
  local log=$1 reports=$2
  shift 2
  ANSIBLE_NOCOLOR=1 ANSIBLE_LOCALHOST_WARNING=0 ANSIBLE_HOST_KEY_CHECKING=0 timeout 300 ${through[@]+"${through[@]}"} \
    ansible-playbook "$here/../../contrib/ansible/collect-cameras.yml" -e "camera_info_reports=$reports" "$@" \
    >"$work/$log" 2>&1
  status=$?
}

# entries <cameras.json> <host>=<what>...: each host's entry is this
# machine's report (<what> "report") or an error that says <what>.
entries() {
  "$python" - "$work/expected/CameraInfo.txt" "$@" <<'PY'
import json, sys
expected = json.load(open(sys.argv[1]))
merged = json.load(open(sys.argv[2]))
problems = []
for wanted in sys.argv[3:]:
    host, what = wanted.split("=", 1)
    entry = merged.get(host, {})
    if not (entry.get("cameras", 0) == expected if what == "report" else what in entry.get("error", "")):
        problems.append("%s is %r, not %s" % (host, entry, what))
print("\n".join(problems))
sys.exit(1 if problems else 0)
PY
}

# play <log> [ansible-playbook arguments...]: one run over the inventory.
play() {
  local log=$1 started
  shift
  started=$(date +%s)
  playbook "$log" "$work/reports" -i "$work/inventory" -i "$work/inventory.yml" "$@"
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
table = {"lab 7 ": "could not run (exit code 3)"}
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
check "nothing the programs started runs on, what left their session included" \
  bash -c '! pgrep -a -f "^sleep 100[12]\$"'
check "every host has a file of its own, ASCII, no two alike but for case" bash -c '
  cd "$1/reports/hosts" && test "$(ls -A | wc -l)" = "$2" && ! ls -A | LC_ALL=C grep -q "[^ -~]" &&
  test -z "$(ls -A | LC_ALL=C tr A-Z a-z | sort | uniq -d)"' bash "$work" $((${#good[@]} + $(grep -c '^[a-z]' "$here/fleet-hosts.txt") + 1))
check "the reports folder holds the merged document and the hosts' folder" \
  test "$(ls -A "$work/reports" | tr '\n' ' ')" = "cameras.json hosts "
for host in alpha spaced cameras ../x; do
  file=$("$python" -c 'import sys, urllib.parse; print(urllib.parse.quote(sys.argv[1], safe=""))' "$host")
  check "$host: its report kept as hosts/$file.json" cmp "$work/reports/hosts/$file.json" "$work/expected/CameraInfo.txt"
done
long_files=$(cd "$work/reports/hosts" && find . -maxdepth 1 -name '%D0%B6*~*' -printf '%f\n' || true)
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
    # An error is said of the run it came from.
    was = dict(first[host], error="its last run: " + first[host]["error"]) if "error" in first[host] else first[host]
    if merged.get(host) != was:
        problems.append("%s is %r, not %r as the first run left it" % (host, merged.get(host), was))
if merged.get("newcomer") != {"error": "not collected yet"}:
    problems.append("newcomer is %r" % merged.get("newcomer"))
'

# A host's odd output spoils nothing: a time of the right shape that is no
# date is replaced by the merge's own.
printf '{"reports": "%s", "limit": 1048576, "inventory": ["oddtime"], "run": {"oddtime": {"stdout": "taken 2026-13-01T00:00:00Z\\nreport base64\\nbnVsbAo=\\n"}}}' \
  "$work/odd" | "$python" "$here/../../contrib/ansible/merge_reports.py"
check "a taken time that is no date: the report is kept, with the merge's own time" "$python" -c '
import json, re, sys
entry = json.load(open(sys.argv[1]))["oddtime"]
sys.exit(0 if entry["cameras"] is None and re.match(r"20\d\d-[01]\d-[0-3]\dT", entry["taken"]) and entry["taken"][5:7] != "13" else 1)
' "$work/odd/cameras.json"

# A host whose /tmp lets no program run (noexec, as hardened hosts mount it),
# with no folder set for it: the run moves to Ansible's own temporary folder.
# /tmp is such a mount in a mount namespace of this run's own.
if [[ "$here/" == /tmp/* || "$work/" == /tmp/* ]]; then
  echo "skipped: a /tmp mounted noexec would cover this clone, which is in /tmp"
elif [ "$(id -u)" = 0 ] && unshare --mount --propagation private true 2>/dev/null; then
  printf '[linux]\nhardened\n[all:vars]\nansible_connection=local\nansible_python_interpreter=%s\ncamera_info_linux_program=%s\n' \
    "$python" "$program" >"$work/inventory-hardened"
  through=(unshare --mount --propagation private sh -c 'mount -t tmpfs -o noexec,mode=1777 hardened /tmp && exec "$@"' sh)
  playbook playbook-hardened.log "$work/reports-hardened" -i "$work/inventory-hardened"
  through=()
  check "a host whose /tmp is mounted noexec gets its report" entries "$work/reports-hardened/cameras.json" hardened=report
else
  echo "skipped: a /tmp mounted noexec needs root and a mount namespace here"
fi

# The real transport, as fleets run it: sshd on the loopback address with a
# host key and configuration of its own, in a mount namespace of its own in
# which an unprivileged remote user exists (a passwd of its own over
# /etc/passwd: nothing of this machine changes), logged into with a key. One
# host runs the program, one hangs (leaving a child in a session of its own),
# and one is refused at login.
ssh_hosts() {
  local ssh=$work/ssh uid=64999 user=camera-info-fleet port home made_run=""
  mkdir -p "$ssh"
  home=$(mktemp -d /tmp/camera-info-fleet-home.XXXXXX) || return 1
  mkdir -p "$home/.ssh"
  ssh-keygen -q -t ed25519 -N '' -f "$ssh/host_key" && ssh-keygen -q -t ed25519 -N '' -f "$ssh/user_key" &&
    ssh-keygen -q -t ed25519 -N '' -f "$ssh/stranger_key" || return 1
  cp "$ssh/user_key.pub" "$home/.ssh/authorized_keys"
  chown -R "$uid:$uid" "$home" && chmod 0700 "$home"
  { cat /etc/passwd; echo "$user:x:$uid:$uid:camera-info fleet test:$home:/bin/sh"; } >"$ssh/passwd"
  { cat /etc/group; echo "$user:x:$uid:"; } >"$ssh/group"
  port=$("$python" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  cat >"$ssh/sshd_config" <<CONF
ListenAddress 127.0.0.1:$port
HostKey $ssh/host_key
PidFile $ssh/sshd.pid
AllowUsers $user
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
PermitRootLogin no
Subsystem sftp /usr/lib/openssh/sftp-server
CONF
  [ -d /run/sshd ] || { mkdir -m 0755 /run/sshd && made_run=1; }
  unshare --mount --propagation private sh -c '
    mount --bind "$1/passwd" /etc/passwd && mount --bind "$1/group" /etc/group &&
      exec /usr/sbin/sshd -D -e -f "$1/sshd_config"' sh "$ssh" 2>"$ssh/sshd.log" &
  local sshd=$!
  local tries=0
  until (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || [ $tries -ge 100 ]; do
    sleep 0.1
    tries=$((tries + 1))
  done
  printf '#!/bin/sh\nsetsid sleep 1003 &\nsleep 1004\n' >"$work/programs/ssh-hangs"
  chmod 0755 "$work/programs/ssh-hangs"
  local common="ansible_host=127.0.0.1 ansible_port=$port ansible_user=$user ansible_python_interpreter=/usr/bin/python3"
  cat >"$work/inventory-ssh" <<INVENTORY
[linux]
overssh $common ansible_ssh_private_key_file=$ssh/user_key
hangsoverssh $common ansible_ssh_private_key_file=$ssh/user_key camera_info_linux_program=$work/programs/ssh-hangs
refusedoverssh $common ansible_ssh_private_key_file=$ssh/stranger_key

[all:vars]
camera_info_linux_program=$program
camera_info_timeout=3
INVENTORY
  ANSIBLE_SSH_ARGS="-o ControlMaster=no -o UserKnownHostsFile=$ssh/known_hosts -o StrictHostKeyChecking=no" \
    playbook playbook-ssh.log "$work/reports-ssh" -i "$work/inventory-ssh"
  tail -n 6 "$work/playbook-ssh.log"
  check "over SSH: the run ends well" test $status = 0
  check "over SSH: the reports as due, and the refused host as not reached" entries "$work/reports-ssh/cameras.json" \
    overssh=report "hangsoverssh=took longer than 3 s" "refusedoverssh=could not be reached"
  # The sessions' own processes may take a moment to end.
  tries=0
  while pgrep -u "$uid" >/dev/null && [ $tries -lt 50 ]; do
    sleep 0.1
    tries=$((tries + 1))
  done
  check "over SSH: nothing runs on as the remote user once the sessions ended" bash -c "! pgrep -a -u $uid"
  check "over SSH: nothing is left in the remote user's /tmp" bash -c "! find /tmp -maxdepth 1 -user $uid -name 'camera-info.*' | grep -q ."
  kill "$sshd" 2>/dev/null
  wait "$sshd" 2>/dev/null
  pkill -KILL -u "$uid" 2>/dev/null
  rm -rf "$home"
  [ -z "$made_run" ] || rmdir /run/sshd
}
# A fleet of machines, each host given the program of its own.
machines() {
  local programs
  programs=$("$python" -c 'import json, sys; print(json.dumps({sys.argv[3]: sys.argv[1], "aarch64": sys.argv[2]}))' \
    "$program" "$arm64_program" "$(uname -m)")
  printf '[linux]\nasks\narmboard camera_info_architecture=aarch64\nriscvboard camera_info_architecture=riscv64\n[all:vars]\nansible_connection=local\nansible_python_interpreter=%s\n' \
    "$python" >"$work/inventory-machines"
  through=("$here/../../scripts/qemu-user" arm64)
  playbook playbook-machines.log "$work/reports-machines" -i "$work/inventory-machines" \
    -e "{\"camera_info_linux_programs\": $programs}"
  through=()
  if [ $status = 77 ]; then
    tail -n 1 "$work/playbook-machines.log"
    return
  fi
  tail -n 5 "$work/playbook-machines.log"
  check "a fleet of machines: the run ends well" test $status = 0
  check "each host given the program of its machine, and one without a program listed with why" \
    entries "$work/reports-machines/cameras.json" asks=report armboard=report \
    "riscvboard=no camera-info program for riscv64"
}
if [ -n "$arm64_program" ]; then
  machines
else
  echo "skipped: no arm64 program given for a fleet of machines"
fi

if [ "$(id -u)" = 0 ] && [ -x /usr/sbin/sshd ] && unshare --mount --propagation private true 2>/dev/null; then
  ssh_hosts
else
  echo "skipped: the hosts over SSH need root (sshd becomes their user), a mount namespace, and openssh-server"
fi

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
