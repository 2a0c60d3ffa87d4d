#!/usr/bin/env bash
# Runs the libFuzzer target saft_fuzzer (tests/fuzz) from a sanitised Clang build.
#
# The corpus is seeded at run time from tests/fixtures and ../shared/saft-samples, each
# file also re-encoded as UTF-8 with a byte-order mark and as UTF-16 in both byte orders,
# and given the four leading bytes that the target reads as dialog answers.
#
# Environment:
#   SAN_BUILD_DIR   build directory (default build-asan); configured and built if needed
#   FUZZ_SECONDS    wall time of the run (default 60)
#   FUZZ_JOBS       parallel fuzzing processes (default: number of CPUs)
#   FUZZ_MAX_LEN    longest input tried, in bytes (default 4096)
#   FUZZ_CORPUS     corpus folder, kept between runs (default $SAN_BUILD_DIR/fuzz/corpus)
# Prints the total executions, the corpus size and the findings; exits non-zero when the
# target crashed, leaked, hung or broke one of its checks (the input is kept beside the
# corpus as crash-*, leak-* or timeout-*).
set -euo pipefail
cd "$(dirname "$0")/.."

SAN_BUILD_DIR=${SAN_BUILD_DIR:-build-asan}
FUZZ_SECONDS=${FUZZ_SECONDS:-60}
FUZZ_JOBS=${FUZZ_JOBS:-$(nproc)}
FUZZ_MAX_LEN=${FUZZ_MAX_LEN:-4096}
FUZZ_CORPUS=${FUZZ_CORPUS:-$SAN_BUILD_DIR/fuzz/corpus}
FUZZER=$SAN_BUILD_DIR/tests/fuzz/saft_fuzzer
SAMPLES=../shared/saft-samples

if [[ ! -f $SAN_BUILD_DIR/CMakeCache.txt ]]; then
  CC=clang CXX=clang++ cmake -S . -B "$SAN_BUILD_DIR" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVERIFAX_SANITIZE=ON -DVERIFAX_FUZZ=ON >/dev/null
fi
cmake --build "$SAN_BUILD_DIR" --target saft_fuzzer >/dev/null

# seed NAME FILE: the file (and its re-encodings) with several leading answer bytes.
seed_count=0
seed() {
  local name=$1 file=$2 from=WINDOWS-1252 body
  body=$(mktemp)
  if [[ $(head -c 3 "$file" | od -An -tx1 | tr -d ' \n') == efbbbf ]]; then
    tail -c +4 "$file" >"$body"
    from=UTF-8
  else
    cp "$file" "$body"
    iconv -f UTF-8 -t UTF-8 "$body" >/dev/null 2>&1 && from=UTF-8
  fi
  # The body in another encoding; iconv stops at a byte it has no character for (the
  # five that Windows-1252 leaves unassigned), which leaves a shorter seed.
  reencode() { iconv -f "$from" -t "$1" "$body" 2>/dev/null || true; }
  local variant
  for variant in plain utf8bom utf16le utf16be; do
    local out=$FUZZ_CORPUS/seed-$name-$variant
    case $variant in
      plain) cp "$file" "$out.doc" ;;
      utf8bom) { printf '\xef\xbb\xbf'; reencode UTF-8; } >"$out.doc" ;;
      utf16le) { printf '\xff\xfe'; reencode UTF-16LE; } >"$out.doc" ;;
      utf16be) { printf '\xfe\xff'; reencode UTF-16BE; } >"$out.doc" ;;
    esac
    # Answers: all cancelled; all Ok with valid values; Ok with mixed values, decimal comma.
    { printf '\x00\x00\x00\x00'; cat "$out.doc"; } >"$out-cancel"
    { printf '\x01\x01\x03\x01'; cat "$out.doc"; } >"$out-ok"
    { printf '\x8b\xa5\x17\x31'; cat "$out.doc"; } >"$out-mixed"
    rm "$out.doc"
    seed_count=$((seed_count + 3))
  done
  rm -f "$body"
}

mkdir -p "$FUZZ_CORPUS"
for f in tests/fixtures/*.xml "$SAMPLES"/*.xml; do
  [[ -f $f ]] || continue
  seed "$(basename "$f" .xml)" "$f"
done
((seed_count > 0)) || { echo "fuzz: no seed files found" >&2; exit 1; }

artifacts=$SAN_BUILD_DIR/fuzz/artifacts
mkdir -p "$artifacts"
marker=$SAN_BUILD_DIR/fuzz/started
touch "$marker"
log=$SAN_BUILD_DIR/fuzz/last-run.log
echo "fuzz: $FUZZ_SECONDS s on $FUZZ_JOBS processes, $seed_count seeds, corpus $FUZZ_CORPUS"
rc=0
ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1} \
  "$FUZZER" -fork="$FUZZ_JOBS" -max_total_time="$FUZZ_SECONDS" -max_len="$FUZZ_MAX_LEN" \
  -timeout=20 -rss_limit_mb=4096 -dict=tests/fuzz/saft.dict -print_final_stats=1 \
  -artifact_prefix="$artifacts/" "$FUZZ_CORPUS" >"$log" 2>&1 || rc=$?

# The last status line of the fork mode holds the totals of all its jobs.
status=$(grep -E '^#[0-9]+: ' "$log" | tail -n 1 || true)
execs=$(sed -E 's/^#([0-9]+):.*/\1/' <<<"$status")
crashes=$(sed -nE 's#.*oom/timeout/crash: ([0-9/]+).*#\1#p' <<<"$status")
corpus_files=$(find "$FUZZ_CORPUS" -maxdepth 1 -type f | wc -l)
echo "fuzz: ${execs:-0} executions, corpus $corpus_files inputs," \
  "oom/timeout/crash ${crashes:-?}, exit status $rc"
found=$(find "$artifacts" -maxdepth 1 -type f -newer "$marker" | wc -l)
if ((rc != 0 || found > 0)); then
  tail -n 60 "$log" >&2
  echo "fuzz: FAILED; inputs kept in $artifacts:" >&2
  ls -l "$artifacts" >&2
  exit 1
fi
