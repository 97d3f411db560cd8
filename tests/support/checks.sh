# Counted checks for the test scripts (sourced). A failed check says what it
# saw, so that the log of a machine nobody can reach tells what went wrong:
# the command as it ran, its exit code and the first lines of its output and
# error streams.
# shellcheck shell=bash

failures=0
passes=0
shown_lines=${shown_lines:-8}

# show_lines <label> <file>: the file's first lines, indented, or that it is empty.
show_lines() {
  if [ -s "$2" ]; then
    echo "  $1:"
    head -n "$shown_lines" "$2" | cut -c 1-300 | sed 's/^/    | /'
    [ "$(wc -l <"$2")" -le "$shown_lines" ] || echo "    | ..."
  else
    echo "  $1: (nothing)"
  fi
}

# check <what> <command...>: runs the command and counts it.
check() {
  local what=$1 status out err
  shift
  out=$(mktemp) err=$(mktemp)
  "$@" >"$out" 2>"$err" </dev/null
  status=$?
  if [ "$status" -eq 0 ]; then
    passes=$((passes + 1))
  else
    failures=$((failures + 1))
    echo "FAILED: $what"
    local ran
    ran=$(printf '%q ' "$@")
    [ "${#ran}" -le 400 ] || ran="${ran:0:400}..."
    echo "  ran: $ran"
    echo "  exit code: $status"
    show_lines "output" "$out"
    show_lines "error stream" "$err"
  fi
  rm -f "$out" "$err"
}

# record <run> <command...>: runs the command with no input, leaving its exit
# code, output and error stream in <run>.rc, <run>.out and <run>.err.
record() {
  local run=$1
  shift
  "$@" >"$run.out" 2>"$run.err" </dev/null
  echo $? >"$run.rc"
}

# The recorded run ended with 0 (and wrote nothing); otherwise what it did is
# shown.
succeeded() { [ "$(cat "$1.rc" 2>/dev/null)" = 0 ] || ran_as "$1"; }
exited_silently() {
  [ "$(cat "$1.rc" 2>/dev/null)" = 0 ] && [ ! -s "$1.out" ] && [ ! -s "$1.err" ] || ran_as "$1"
}
ran_as() {
  echo "the run ended with exit code $(cat "$1.rc" 2>/dev/null || echo '(none recorded)')"
  show_lines "its output" "$1.out"
  show_lines "its error stream" "$1.err"
  return 1
}
