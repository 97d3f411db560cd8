#!/bin/sh
# camera-info on a Linux host, for the fleet playbook: makes <folder> (its
# parent must exist), moves the program that was copied beside it as
# <folder>-program into it, runs it there, stopped if it takes longer than
# <seconds>, hands back its report or why there is none, and removes the
# folder and the copy whatever happens. It prints "taken <UTC time>", then
# either "report base64" (or "report hex" where the host has no base64) and
# the report's bytes so encoded, untouched, for the controller to check, or
# "error <why>". It ends with 0 whenever it got that far, so that the
# playbook reads what it printed.
#   run-linux.sh <folder> <program's file name> <seconds> <most bytes> <elsewhere>
# With <elsewhere> "yes" (the folder's parent is the default one), a folder
# whose file system lets no program run (/tmp mounted noexec) is moved into
# this script's own folder, which Ansible keeps where programs do run, and
# the program tried there.
dir=$1 program=$2 seconds=$3 most=$4 elsewhere=$5
copy=$dir-program group=
here=$(cd -- "$(dirname -- "$0")" && pwd) || here=
trap 'cd / && { [ -z "$group" ] || kill -KILL -- "-$group" 2>/dev/null; rm -rf -- "$dir" "$copy"; }' EXIT
mkdir -m 0700 -- "$dir" 2>/dev/null && mv -- "$copy" "$dir/$program" && cd -- "$dir" ||
  { echo "error its folder $dir cannot be made"; exit 0; }
echo "taken $(date -u +%Y-%m-%dT%H:%M:%SZ)"

# What the program starts ends with it. Where the host allows it (root, or
# user namespaces), it runs in a PID namespace of its own, whose processes
# the kernel ends when its first one ends, those that left the program's
# session included; that first one is a shell that waits for the program,
# since the first process of a namespace ignores TERM. Elsewhere whatever is
# left in its process group is ended.
isolated=
if unshare --pid --fork --kill-child true 2>/dev/null; then
  isolated=--pid
elif unshare --user --pid --fork --kill-child true 2>/dev/null; then
  isolated="--user --pid"
fi
launch() {
  if [ -n "$isolated" ]; then
    # shellcheck disable=SC2086 # the namespaces' options are words
    exec timeout -k 5 "$seconds" unshare $isolated --fork --kill-child sh -c '"$0" & wait "$!"' "./$program"
  fi
  exec timeout -k 5 "$seconds" "./$program"
}

# run: the program, and whatever it started, is sent TERM at the limit and
# KILL five seconds later; `timeout` leads a process group of its own. It
# prints nothing of its own; what another program in its place says on its
# error stream tells why it did not run.
run() {
  started=$(date +%s)
  launch </dev/null >/dev/null 2>camera-info.err &
  group=$!
  wait "$group"
  status=$?
  kill -KILL -- "-$group" 2>/dev/null
  group=
  took=$(($(date +%s) - started))
}
run
if [ $status -eq 126 ] && [ "$elsewhere" = yes ] && [ -n "$here" ]; then
  moved=$here/camera-info
  if cd / && mv -- "$dir" "$moved" && dir=$moved && cd -- "$dir"; then
    run
  fi
fi

# 137 is KILL, sent at the limit or by someone else (the kernel's
# out-of-memory killer): only the time tells which.
if [ $status -eq 124 ] || { [ $status -eq 137 ] && [ "$took" -ge "$seconds" ]; }; then
  echo "error camera-info took longer than $seconds s"
elif [ $status -gt 128 ] && [ $status -lt 160 ]; then
  echo "error camera-info was ended by signal $(kill -l $((status - 128)) 2>/dev/null) (exit code $status)"
elif [ $status -ne 0 ]; then
  echo "error camera-info could not run (exit code $status): $(tail -n 1 camera-info.err | cut -c 1-300)"
elif [ ! -f CameraInfo.txt ]; then
  echo "error camera-info wrote no report in its folder $dir"
else
  # A report too large to be a camera report is not sent at all.
  size=$(wc -c <CameraInfo.txt)
  size=$((size))
  if [ "$size" -gt "$most" ]; then
    echo "error the report is $size bytes, more than the limit of $most"
  elif command -v base64 >/dev/null 2>&1; then
    echo "report base64"
    base64 <CameraInfo.txt
  else
    echo "report hex"
    od -A n -v -t x1 <CameraInfo.txt
  fi
fi
exit 0
