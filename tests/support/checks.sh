# The checks a test script counts, sourced by the desktop rig and the install test:
#   check DESCRIPTION COMMAND...   runs COMMAND; counts and prints "ok:" or "FAILED:"
#   finish                         prints the counts; succeeds only if nothing failed
passed=0
failed=0

check() {
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
    echo "ok: $what"
  else
    failed=$((failed + 1))
    echo "FAILED: $what"
  fi
}

finish() {
  echo "$passed passed, $failed failed"
  test "$failed" -eq 0
}
