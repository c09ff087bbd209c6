#!/bin/sh
# Each in-process test binary must pass 20 runs and e2e_tests 5, each run
# beside another test binary (in a session of its own, so that stopping it
# stops its Xvfb too) and two busy loops, as on a busy CI machine.
# Usage: tests/stress.sh [TEST-BUILD [BINARY...]]
set -u
build=$(cd "${1:-$(dirname "$0")/../build-test}" && pwd)
[ $# -gt 0 ] && shift
logs=$(mktemp -d /tmp/kivo-stress-XXXXXX)
(while :; do :; done) & busy1=$!
(while :; do :; done) & busy2=$!
trap 'kill $busy1 $busy2' EXIT
status=0
for name in ${*:-model_tests io_tests canvas_tests app_tests panels_tests e2e_tests}; do
  runs=20 other=panels_tests passed=0 i=0
  [ "$name" = e2e_tests ] && runs=5
  [ "$name" = panels_tests ] && other=app_tests
  setsid sh -c "while :; do ctest --test-dir '$build' -R '^$other\$' >/dev/null 2>&1; done" & neighbour=$!
  while [ $((i += 1)) -le $runs ]; do
    if ctest --test-dir "$build" -R "^$name\$" --output-on-failure >"$logs/$name.$i.log" 2>&1; then
      passed=$((passed + 1))
    else
      status=1 && echo "  $name run $i failed: $logs/$name.$i.log"
    fi
  done
  kill -TERM -- "-$neighbour" && wait "$neighbour"
  echo "$name: $passed of $runs runs passed beside $other and two busy loops"
done
exit $status
