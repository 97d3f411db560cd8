# Counted checks for the test scripts (sourced): check <what> <command...>
# runs the command and counts it; a failure says what failed.
# shellcheck shell=bash

failures=0
passes=0
check() {
  local what=$1
  shift
  if "$@"; then
    passes=$((passes + 1))
  else
    failures=$((failures + 1))
    echo "FAILED: $what"
  fi
}
