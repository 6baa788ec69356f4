# Sourced by shell tests: check WHAT ACTUAL EXPECTED counts a failure and says which; finish ends the test.
failures=0
check() {
  if [ "$2" != "$3" ]; then
    echo "FAIL $1: got '$2', expected '$3'"
    failures=$((failures + 1))
  else
    echo "ok   $1"
  fi
}
finish() { [ "$failures" = 0 ]; }
