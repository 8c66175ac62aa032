#!/bin/sh
# Runs every test of a build folder made by `make build`:
#   sh tests/run_all.sh BUILD_DIR
# - one Xvfb for the whole run (DISPLAY is exported to every test);
# - ctest in BUILD/win64: the unit tests and every end-to-end test under Wine;
# - ctest in BUILD/native: the sanitizer builds of the text routines;
# - every fuzzer BUILD/native/fuzz_* for a few seconds (CORVANE_FUZZ_SECONDS);
# then prints "N passed, N failed" over all of them and exits non-zero on
# any failure. CORVANE_TEST_JOBS sets ctest's parallelism (default 2).
set -u

BUILD=${1:-build}
if [ ! -d "$BUILD/win64" ]; then
  echo "run_all: no $BUILD/win64; run make build first" >&2
  exit 2
fi
BUILD=$(cd "$BUILD" && pwd)
JOBS=${CORVANE_TEST_JOBS:-2}
FUZZ_SECONDS=${CORVANE_FUZZ_SECONDS:-15}
SCRATCH=$(mktemp -d "${TMPDIR:-/tmp}/corvane-tests.XXXXXX")
XVFB_PID=""
passed=0
failed=0

cleanup() {
  if [ -n "$XVFB_PID" ]; then
    kill "$XVFB_PID" 2>/dev/null
    wait "$XVFB_PID" 2>/dev/null
  fi
  rm -rf "$SCRATCH"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Xvfb picks a free display itself and writes its number to fd 3.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset \
  3>"$SCRATCH/display" >"$SCRATCH/xvfb.log" 2>&1 </dev/null &
XVFB_PID=$!
waited=0
while [ ! -s "$SCRATCH/display" ] && [ "$waited" -lt 150 ]; do
  sleep 0.1
  waited=$((waited + 1))
done
if [ ! -s "$SCRATCH/display" ]; then
  echo "run_all: Xvfb did not start:" >&2
  cat "$SCRATCH/xvfb.log" >&2
  exit 2
fi
DISPLAY=":$(tr -d '\n' <"$SCRATCH/display")"
export DISPLAY
echo "run_all: Xvfb on $DISPLAY"

# Adds the counts of one ctest run (its log in $2) to the totals.
count_ctest() {
  name=$1
  log=$2
  status=$3
  summary=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$summary" ]; then
    echo "run_all: $name gave no summary (exit $status)"
    failed=$((failed + 1))
    return
  fi
  total=$(echo "$summary" | sed -E 's/.* out of ([0-9]+).*/\1/')
  bad=$(echo "$summary" | sed -E 's/.* ([0-9]+) tests? failed.*/\1/')
  passed=$((passed + total - bad))
  failed=$((failed + bad))
  if [ "$bad" -eq 0 ] && [ "$status" -ne 0 ]; then
    failed=$((failed + 1))
  fi
}

# Runs ctest in a folder, showing its output as it comes, and counts.
run_ctest() {
  { ctest --test-dir "$2" -j "$JOBS" --output-on-failure --no-tests=error </dev/null 2>&1
    echo $? >"$SCRATCH/$1.status"; } | tee "$SCRATCH/$1.log"
  count_ctest "$1" "$SCRATCH/$1.log" "$(cat "$SCRATCH/$1.status")"
}

echo "run_all: Windows tests under Wine ($BUILD/win64)"
run_ctest win64 "$BUILD/win64"

if [ -d "$BUILD/native" ]; then
  echo "run_all: native sanitizer tests ($BUILD/native)"
  run_ctest native "$BUILD/native"

  for fuzzer in "$BUILD"/native/fuzz_*; do
    [ -f "$fuzzer" ] && [ -x "$fuzzer" ] || continue
    name=$(basename "$fuzzer")
    corpus="$SCRATCH/corpus-$name"
    mkdir -p "$corpus"
    seeds=""
    [ -d "tests/native/corpus/$name" ] && seeds="tests/native/corpus/$name"
    echo "run_all: fuzzing $name for $FUZZ_SECONDS s"
    # shellcheck disable=SC2086
    if timeout $((FUZZ_SECONDS + 60)) "$fuzzer" -max_total_time="$FUZZ_SECONDS" \
        -rss_limit_mb=2048 -print_final_stats=1 "$corpus" $seeds \
        </dev/null >"$SCRATCH/$name.log" 2>&1; then
      tail -n 3 "$SCRATCH/$name.log"
      passed=$((passed + 1))
    else
      echo "run_all: $name FAILED:"
      tail -n 40 "$SCRATCH/$name.log"
      failed=$((failed + 1))
    fi
  done
else
  echo "run_all: no $BUILD/native; native tests not run"
  failed=$((failed + 1))
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
