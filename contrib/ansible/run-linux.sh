#!/bin/sh
# camera-info on a Linux host, for the fleet playbook: runs the program that
# was copied into <folder> there, stopped if it takes longer than <seconds>,
# hands back its report or why there is none, and removes the folder
# whatever happens. It prints "taken <UTC time>", then either "report
# base64" (or "report hex" where the host has no base64) and the report's
# bytes so encoded, untouched, for the controller to check, or "error <why>".
# It ends with 0 whenever it got that far, so that the playbook reads what
# it printed.
#   run-linux.sh <folder> <program's file name> <seconds> <most bytes>
dir=$1 program=$2 seconds=$3 most=$4
trap 'cd / && rm -rf -- "$dir"' EXIT
cd -- "$dir" || { echo "error its folder $dir cannot be entered"; exit 0; }
echo "taken $(date -u +%Y-%m-%dT%H:%M:%SZ)"

# The program, and whatever it started, is sent TERM at the limit and KILL
# five seconds later. It prints nothing of its own; what another program in
# its place says on its error stream tells why it did not run.
timeout -k 5 "$seconds" "./$program" </dev/null >/dev/null 2>camera-info.err
status=$?
if [ $status -eq 124 ] || [ $status -eq 137 ]; then
  echo "error camera-info took longer than $seconds s"
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
