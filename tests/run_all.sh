#!/bin/sh
# Runs every test of a build folder made by `make build`:
#   sh tests/run_all.sh BUILD_DIR
# - ctest in BUILD/win64: the unit tests and every end-to-end test under Wine;
# - ctest in BUILD/native: the sanitizer builds of the text routines;
# - every fuzzer BUILD/native/fuzz_* for a few seconds (CORVANE_FUZZ_SECONDS);
# then prints "N passed, N failed" over all of them and exits non-zero on
# any failure. CORVANE_TEST_JOBS sets ctest's parallelism (default 2).
#
# No X server is started here: every Wine box of the harness runs its own
# Xvfb, because Wine follows the X keyboard focus and tests running side by
# side on one display would take the focus from each other's windows.
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
passed=0
failed=0

cleanup() {
  rm -rf "$SCRATCH"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

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
