#!/usr/bin/env bash
# Installs what is missing, then builds and tests Verifax in three steps:
#  1. the build in BUILD_DIR (default build; BUILD_TYPE default RelWithDebInfo): every test;
#  2. a Clang build with AddressSanitizer and UndefinedBehaviorSanitizer in SAN_BUILD_DIR
#     (default BUILD_DIR-asan; the desktop program is left out there): every test again;
#  3. a short run of the fuzz target on that build (FUZZ_SECONDS, default 60).
# SANITIZE=0 runs step 1 only. Prints a summary and exits non-zero when any step failed.
set -uo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh || exit 1

BUILD_DIR=${BUILD_DIR:-build}
SAN_BUILD_DIR=${SAN_BUILD_DIR:-$BUILD_DIR-asan}
FUZZ_SECONDS=${FUZZ_SECONDS:-60}
SANITIZE=${SANITIZE:-1}

summary=()
passed=0
failed=0

# run_ctest DIR: every test of the build in DIR; adds its counts to the totals.
run_ctest() {
  local dir=$1 log
  log=$(mktemp)
  (cd "$dir" && ctest --output-on-failure --parallel "$(nproc)") 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  # "100% tests passed, 0 tests failed out of 202"
  local counts
  counts=$(grep -Eo '[0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
  rm -f "$log"
  if [[ $counts =~ ^([0-9]+)\ tests\ failed\ out\ of\ ([0-9]+)$ ]]; then
    local f=${BASH_REMATCH[1]} n=${BASH_REMATCH[2]}
    passed=$((passed + n - f))
    failed=$((failed + f))
    ((n > 0)) || rc=1
    LAST_COUNTS="$((n - f)) of $n tests passed"
  else
    failed=$((failed + 1))
    LAST_COUNTS="no test ran"
    rc=1
  fi
  return "$rc"
}

# record NAME RC DETAIL
record() {
  local state=passed
  (($2 == 0)) || state=FAILED
  summary+=("$(printf '  %-48s %-7s %s' "$1" "$state" "$3")")
}

echo "== 1. Build and tests ($BUILD_DIR)"
if BUILD_DIR=$BUILD_DIR BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} scripts/build.sh; then
  run_ctest "$BUILD_DIR"
  record "build and tests ($BUILD_DIR)" $? "$LAST_COUNTS"
else
  failed=$((failed + 1))
  record "build ($BUILD_DIR)" 1 "the build failed"
fi

if [[ $SANITIZE == 1 ]]; then
  echo "== 2. ASan+UBSan build and tests ($SAN_BUILD_DIR)"
  if CC=clang CXX=clang++ BUILD_DIR=$SAN_BUILD_DIR BUILD_TYPE=RelWithDebInfo scripts/build.sh \
    -DVERIFAX_SANITIZE=ON -DVERIFAX_FUZZ=ON -DVERIFAX_BUILD_GUI=OFF; then
    ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} \
      UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
      run_ctest "$SAN_BUILD_DIR"
    record "ASan+UBSan build and tests ($SAN_BUILD_DIR)" $? "$LAST_COUNTS"

    echo "== 3. Fuzz run ($FUZZ_SECONDS s)"
    fuzz_log=$(mktemp)
    SAN_BUILD_DIR=$SAN_BUILD_DIR FUZZ_SECONDS=$FUZZ_SECONDS scripts/fuzz.sh 2>&1 | tee "$fuzz_log"
    rc=${PIPESTATUS[0]}
    if ((rc == 0)); then passed=$((passed + 1)); else failed=$((failed + 1)); fi
    record "fuzz run ($FUZZ_SECONDS s)" "$rc" "$(grep -Eo '[0-9]+ executions' "$fuzz_log" | tail -n 1)"
    rm -f "$fuzz_log"
  else
    failed=$((failed + 1))
    record "build ($SAN_BUILD_DIR)" 1 "the build failed"
  fi
fi

echo
echo "== Summary"
printf '%s\n' "${summary[@]}"
echo "tests: $passed passed, $failed failed"
((failed == 0))
