#!/usr/bin/env bash
# Benchmark of a full `verifax-cli --yes` run on a large generated SAF-T file, measured
# against `cp` of the same file on the same machine (page cache warm). See bench/README.md.
#
# Environment: SIZE_MB (default 512), BLANKS (blank units of measure, default 1000),
# REPS (repetitions, medians reported, default 3), EXTRA=1 (also a file without defects
# and a UTF-8 file with BOM), SEED (generator seed, default 1), WARM (default 1: hand
# each timed command memory that is ready, see tools/prefault.cpp; 0 to leave it out).
set -euo pipefail
cd "$(dirname "$0")/.."
export LC_ALL=C  # awk and sort must read and print numbers with a decimal point

SIZE_MB=${SIZE_MB:-512}
BLANKS=${BLANKS:-1000}
REPS=${REPS:-3}
EXTRA=${EXTRA:-0}
SEED=${SEED:-1}
WARM=${WARM:-1}
BUILD_DIR=build-bench
OUT=bench/out
WORK=$OUT/work
CLI=$BUILD_DIR/src/cli/verifax-cli
GEN=${GEN:-$BUILD_DIR/tools/verifax-gen-saft}
PREFAULT=$BUILD_DIR/tools/verifax-prefault

die() {
  echo "bench: $*" >&2
  exit 1
}

for v in SIZE_MB BLANKS REPS SEED; do
  [[ ${!v} =~ ^[0-9]+$ ]] || die "$v must be a whole number, not '${!v}'"
done
((REPS >= 1 && SIZE_MB >= 1)) || die "REPS and SIZE_MB must be at least 1"
[[ -x /usr/bin/time ]] || die "/usr/bin/time is missing (Debian package 'time')"

build() {
  echo "Building Release in $BUILD_DIR ..." >&2
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
  cmake --build "$BUILD_DIR" >/dev/null
  [[ -x $CLI ]] || die "$CLI was not built"
  [[ -x $GEN ]] || die "$GEN was not built (is add_subdirectory(tools) in CMakeLists.txt?)"
  [[ -x $PREFAULT ]] || die "$PREFAULT was not built"
}

# generate NAME SIZE_MB BLANKS ENCODING: prints the path of the generated file, reusing
# an earlier one when the generator has not changed since.
generate() {
  local name=$1 size_mb=$2 blanks=$3 encoding=$4
  local file=$OUT/$name-${size_mb}M-b$blanks-$encoding-s$SEED.xml
  if [[ ! -f $file || $GEN -nt $file ]]; then
    echo "Generating $file ..." >&2
    "$GEN" --size $((size_mb * 1024 * 1024)) --blank-units "$blanks" --encoding "$encoding" \
      --seed "$SEED" -o "$file.tmp" >&2
    mv "$file.tmp" "$file"
  fi
  echo "$file"
}

now_ns() { date +%s%N; }

# Touches and frees twice the file's size of memory (and a quarter of a gigabyte) right
# before a timed command, when WARM=1.
warm_up() {
  [[ $WARM == 1 ]] || return 0
  "$PREFAULT" $(($(file_size "$1") / 1048576 * 2 + 256))
}

# Reads numbers, one per line; prints their median.
median() {
  sort -g | awk '{ v[NR] = $1 } END {
    if (NR % 2) print v[(NR + 1) / 2]; else printf "%.6f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

minimum() { sort -g | head -n 1; }

# Division with a fixed number of decimals: div A B [DECIMALS]
div() { awk -v a="$1" -v b="$2" -v d="${3:-2}" 'BEGIN { printf "%.*f", d, a / b }'; }

file_size() { stat -c %s "$1"; }

declare -A CP_S CP_SYNC_S RUN_S CP_MIN RUN_MIN RSS_KIB SIZE

# measure NAME FILE EXPECTED_EXIT EXPECTED_REPAIRS: per repetition, the wall time of
# `cp FILE copy` (and of it with `sync copy` after: the durable copy that the program's
# write amounts to, as it flushes the new file before it takes the document's place),
# then the wall time and peak RSS of `verifax-cli --yes` on a fresh copy of FILE (making
# the copy is not timed); medians of each. Taking the two side by side, one
# repetition after the other and in turns, keeps a slow spell of the machine from
# favouring either.
# Reflinks are refused so that cp really copies on file systems that can share extents.
measure() {
  local name=$1 file=$2 want_exit=$3 want_repairs=$4
  local target=$WORK/saft.xml cp_times=() durable_times=() times=() rss=()
  local start end synced rc i repairs
  cat "$file" >/dev/null
  time_cp() {
    warm_up "$file"
    start=$(now_ns)
    cp --reflink=never "$file" "$WORK/copy"
    end=$(now_ns)
    sync "$WORK/copy" # the copy made durable, as the program makes its file
    synced=$(now_ns)
    cp_times+=("$(div $((end - start)) 1e9 6)")
    durable_times+=("$(div $((synced - start)) 1e9 6)")
    rm -f "$WORK/copy"
    sync
  }
  time_run() {
    warm_up "$file"
    rc=0
    start=$(now_ns)
    /usr/bin/time -f %M -o "$WORK/rss" "$CLI" --yes "$target" \
      </dev/null >"$WORK/stdout" 2>"$WORK/stderr" || rc=$?
    end=$(now_ns)
    if ((rc != want_exit)); then
      cat "$WORK/stderr" >&2
      die "verifax-cli exited $rc on $file, expected $want_exit"
    fi
    repairs=$(grep -c '(UnitOfMeasure): "' "$WORK/stdout" || true)
    ((repairs == want_repairs)) ||
      die "verifax-cli logged $repairs unit repairs on $file, expected $want_repairs"
    check_result "$file" "$target" "$want_repairs"
    times+=("$(div $((end - start)) 1e9 6)")
    rss+=("$(tail -n 1 "$WORK/rss")")
    sync
  }
  for ((i = 0; i < REPS; i++)); do
    rm -f "$WORK"/saft* "$WORK/copy"
    cp "$file" "$target"
    sync
    # Which goes first alternates: on some machines a write that follows others soon
    # after is the one that waits.
    if ((i % 2 == 0)); then
      time_cp
      time_run
    else
      time_run
      time_cp
    fi
  done
  rm -f "$WORK"/saft*
  CP_S[$name]=$(printf '%s\n' "${cp_times[@]}" | median)
  CP_MIN[$name]=$(printf '%s\n' "${cp_times[@]}" | minimum)
  CP_SYNC_S[$name]=$(printf '%s\n' "${durable_times[@]}" | median)
  RUN_MIN[$name]=$(printf '%s\n' "${times[@]}" | minimum)
  RUN_S[$name]=$(printf '%s\n' "${times[@]}" | median)
  RSS_KIB[$name]=$(printf '%s\n' "${rss[@]}" | median)
  SIZE[$name]=$(file_size "$file")
}

# check_result ORIGINAL TARGET REPAIRS: with repairs, a backup equal to the original and a
# rewritten file two bytes longer per repair ("" -> "Un"); without, the file untouched.
check_result() {
  local original=$1 target=$2 repairs=$3 backups
  backups=$(find "$WORK" -maxdepth 1 -name 'saft_*.bak_xml' | wc -l)
  if ((repairs == 0)); then
    ((backups == 0)) || die "a run without repairs left a backup"
    tail -n 1 "$WORK/stdout" | grep -q 'Ficheiro sem erros!' ||
      die "a run without repairs did not end with 'Ficheiro sem erros!'"
    cmp -s "$original" "$target" || die "a run without repairs changed the file"
  else
    ((backups == 1)) || die "expected one backup, found $backups"
    cmp -s "$original" "$WORK"/saft_*.bak_xml || die "the backup differs from the original"
    (($(file_size "$target") == $(file_size "$original") + 2 * repairs)) ||
      die "the rewritten file does not have the expected size"
  fi
}

row() { printf '  %-44s %14s   %s\n' "$1" "$2" "${3:-}"; }

build
mkdir -p "$WORK"

main_file=$(generate saft "$SIZE_MB" "$BLANKS" cp1252)
measure main "$main_file" $((BLANKS > 0 ? 1 : 0)) "$BLANKS"

if [[ $EXTRA == 1 ]]; then
  clean_file=$(generate saft "$SIZE_MB" 0 cp1252)
  measure clean "$clean_file" 0 0
  utf8_file=$(generate saft "$SIZE_MB" "$BLANKS" utf8bom)
  measure utf8 "$utf8_file" $((BLANKS > 0 ? 1 : 0)) "$BLANKS"
  # Growth: half the file with the same repairs, and the same file with 100 times as many.
  half_file=$(generate saft $((SIZE_MB / 2)) "$BLANKS" cp1252)
  measure half "$half_file" $((BLANKS > 0 ? 1 : 0)) "$BLANKS"
  many_file=$(generate saft "$SIZE_MB" $((BLANKS * 100)) cp1252)
  measure many "$many_file" 1 $((BLANKS * 100))
fi

echo
echo "Verifax benchmark: $(git rev-parse --short HEAD 2>/dev/null || echo '?'), $(nproc) CPUs," \
  "$(grep -m1 'model name' /proc/cpuinfo 2>/dev/null | cut -d: -f2- | sed 's/^ *//')"
echo "Medians of $REPS repetitions, page cache warm, memory prefaulted: $([[ $WARM == 1 ]] && echo yes || echo no)."
echo
row "figure" "value" "goal"
row "file (Windows-1252, $BLANKS blank units)" "$(div "${SIZE[main]}" 1048576 1) MiB"
row "cp" "$(div "${CP_S[main]}" 1 3) s"
row "verifax-cli --yes" "$(div "${RUN_S[main]}" 1 3) s"
row "run / cp" "$(div "${RUN_S[main]}" "${CP_S[main]}")" "<= 3"
row "run / cp, fastest of each" "$(div "${RUN_MIN[main]}" "${CP_MIN[main]}")"
row "cp, then sync of the copy" "$(div "${CP_SYNC_S[main]}" 1 3) s"
row "run / (cp + sync)" "$(div "${RUN_S[main]}" "${CP_SYNC_S[main]}")"
row "peak RSS" "$(div "${RSS_KIB[main]}" 1024 1) MiB"
row "peak RSS / file size" "$(div "${RSS_KIB[main]}" "$(div "${SIZE[main]}" 1024 6)")" "<= 1.5"

if [[ $EXTRA == 1 ]]; then
  echo
  row "file without defects: cp" "$(div "${CP_S[clean]}" 1 3) s"
  row "file without defects: verifax-cli --yes" "$(div "${RUN_S[clean]}" 1 3) s"
  row "file without defects: run / cp" "$(div "${RUN_S[clean]}" "${CP_S[clean]}")" "<= 1.5"
  row "file without defects: run / cp, fastest" "$(div "${RUN_MIN[clean]}" "${CP_MIN[clean]}")"
  row "file without defects: peak RSS / size" \
    "$(div "${RSS_KIB[clean]}" "$(div "${SIZE[clean]}" 1024 6)")" "<= 1.5"
  echo
  row "UTF-8 (BOM) file" "$(div "${SIZE[utf8]}" 1048576 1) MiB"
  row "UTF-8: cp" "$(div "${CP_S[utf8]}" 1 3) s"
  row "UTF-8: verifax-cli --yes" "$(div "${RUN_S[utf8]}" 1 3) s"
  row "UTF-8: run / cp" "$(div "${RUN_S[utf8]}" "${CP_S[utf8]}")" \
    "within 1.5x of Windows-1252"
  row "UTF-8: peak RSS / file size" "$(div "${RSS_KIB[utf8]}" "$(div "${SIZE[utf8]}" 1024 6)")" \
    "within 1.5x of Windows-1252"
  row "UTF-8 run / Windows-1252 run" "$(div "${RUN_S[utf8]}" "${RUN_S[main]}")" "<= 1.5"
  row "UTF-8 run / Windows-1252 run, fastest" "$(div "${RUN_MIN[utf8]}" "${RUN_MIN[main]}")"
  echo
  row "half the file: verifax-cli --yes" "$(div "${RUN_S[half]}" 1 3) s"
  row "twice the file: time ratio" "$(div "${RUN_S[main]}" "${RUN_S[half]}")" "<= 2.2"
  row "twice the file: time ratio, fastest" "$(div "${RUN_MIN[main]}" "${RUN_MIN[half]}")"
  row "$((BLANKS * 100)) blank units: verifax-cli --yes" "$(div "${RUN_S[many]}" 1 3) s"
  row "100x the repairs: time ratio" "$(div "${RUN_S[many]}" "${RUN_S[main]}")" "<= 1.2"
  row "100x the repairs: time ratio, fastest" "$(div "${RUN_MIN[many]}" "${RUN_MIN[main]}")"
fi
