#!/usr/bin/env bash
# A full `verifax-cli --yes` run on a generated document larger than 4 GiB, so that every
# offset, size and count past 32 bits is used for real. Not part of CTest: it needs about
# three times SIZE_MB of disk and takes minutes.
#
# Environment: SIZE_MB (default 4608, i.e. 4.5 GiB), BLANKS (empty units of measure spread
# through the invoices, the last one near the end of the file; default 100), SEED
# (generator seed, default 1), KEEP=1 keeps the working copy and its backup.
#
# Checks, stopping with exit status 1 on the first that fails:
#  - the run exits with 1 (repairs made) and logs one UnitOfMeasure repair per blank;
#  - the backup holds the original bytes;
#  - the rewritten document is the original with every "<UnitOfMeasure></UnitOfMeasure>"
#    made "<UnitOfMeasure>Un</UnitOfMeasure>" and nothing else changed (compared as a
#    stream, every byte), and the last repair stands where expected, near the end.
set -euo pipefail
cd "$(dirname "$0")/.."
export LC_ALL=C

SIZE_MB=${SIZE_MB:-4608}
BLANKS=${BLANKS:-100}
SEED=${SEED:-1}
KEEP=${KEEP:-0}
BUILD_DIR=build-bench
OUT=bench/out
WORK=$OUT/large
CLI=$BUILD_DIR/src/cli/verifax-cli
GEN=$BUILD_DIR/tools/verifax-gen-saft
BLANK='<UnitOfMeasure></UnitOfMeasure>'
REPAIRED='<UnitOfMeasure>Un</UnitOfMeasure>'

die() {
  echo "large_file: $*" >&2
  exit 1
}

for v in SIZE_MB BLANKS SEED; do
  [[ ${!v} =~ ^[0-9]+$ ]] || die "$v must be a whole number, not '${!v}'"
done
((BLANKS >= 1)) || die "BLANKS must be at least 1"
[[ -x /usr/bin/time ]] || die "/usr/bin/time is missing (Debian package 'time')"

echo "Building Release in $BUILD_DIR ..." >&2
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  -DVERIFAX_BUILD_GUI=OFF >/dev/null
cmake --build "$BUILD_DIR" --target verifax-cli verifax-gen-saft >/dev/null

mkdir -p "$WORK"
original=$OUT/large-${SIZE_MB}M-b$BLANKS-s$SEED.xml
if [[ ! -f $original || $GEN -nt $original ]]; then
  echo "Generating $original ..." >&2
  "$GEN" --size $((SIZE_MB * 1024 * 1024)) --blank-units "$BLANKS" --seed "$SEED" \
    -o "$original.tmp" >&2
  mv "$original.tmp" "$original"
fi
size=$(stat -c %s "$original")
((size > 4 * 1024 * 1024 * 1024)) || die "the generated file is not larger than 4 GiB"

# Where the last blank unit stands, and so where its repair must be.
last_blank=$(grep -boaF "$BLANK" "$original" | tail -n 1 | cut -d: -f1)
blanks_found=$(grep -coaF "$BLANK" "$original" || true)
((blanks_found == BLANKS)) || die "the file has $blanks_found blank units, expected $BLANKS"

rm -f "$WORK"/saft*
echo "Copying the document ..." >&2
cp --reflink=never "$original" "$WORK/saft.xml"
sync

echo "Running verifax-cli --yes on $((size / 1048576)) MiB ..." >&2
rc=0
/usr/bin/time -f '%e %M' -o "$WORK/time" "$CLI" --yes "$WORK/saft.xml" \
  </dev/null >"$WORK/stdout" 2>"$WORK/stderr" || rc=$?
# (time puts a "Command exited with non-zero status" line first)
read -r seconds rss_kib < <(tail -n 1 "$WORK/time")
((rc == 1)) || { cat "$WORK/stderr" >&2; die "verifax-cli exited $rc, expected 1"; }
repairs=$(grep -c '(UnitOfMeasure): "' "$WORK/stdout" || true)
((repairs == BLANKS)) || die "verifax-cli logged $repairs repairs, expected $BLANKS"

echo "Checking the backup and the rewritten document ..." >&2
backups=("$WORK"/saft_*.bak_xml)
((${#backups[@]} == 1)) && [[ -f ${backups[0]} ]] || die "expected one backup"
cmp -s "$original" "${backups[0]}" || die "the backup differs from the original"
new_size=$(stat -c %s "$WORK/saft.xml")
((new_size == size + 2 * BLANKS)) || die "the rewritten document has $new_size bytes"
sed "s#$BLANK#$REPAIRED#g" "$original" | cmp -s - "$WORK/saft.xml" ||
  die "the rewritten document differs from the original with its repairs"
at=$((last_blank + 2 * (BLANKS - 1)))
[[ $(tail -c +$((at + 1)) "$WORK/saft.xml" | head -c ${#REPAIRED}) == "$REPAIRED" ]] ||
  die "the last repair is not at byte $at"
leftovers=$(find "$WORK" -maxdepth 1 -name 'saft.xml.*' | wc -l)
((leftovers == 0)) || die "temporary files were left behind"

[[ $KEEP == 1 ]] || rm -f "$WORK"/saft*

echo
echo "Verifax large-file run: $(git rev-parse --short HEAD 2>/dev/null || echo '?'), $(nproc) CPUs"
printf '  %-36s %s\n' \
  "document" "$size bytes ($(awk -v b="$size" 'BEGIN { printf "%.2f", b / 1073741824 }') GiB)" \
  "repairs" "$repairs" \
  "last repair at byte" "$at ($(awk -v a="$at" -v b="$new_size" 'BEGIN { printf "%.6f", a / b }') of the file)" \
  "exit status" "$rc" \
  "wall time" "$seconds s" \
  "peak RSS" "$((rss_kib / 1024)) MiB" \
  "backup" "equal to the original" \
  "rewritten document" "the original with exactly its repairs"
