#!/usr/bin/env bash
# Runs the desktop program under Xvfb on a sample SAF-T file, answering its windows as a
# user would, and saves screenshots in docs/ (or the folder given): the confirmation,
# the company data dialog, the tax rate dialog and the main window after the run.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
out=$(realpath -m "${1:-docs}")

scripts/install-deps.sh
BUILD_DIR="$BUILD_DIR" scripts/build.sh

# The sample: a malformed postal code (company and customer), an invalid company tax
# number, an unaccepted tax code and a blank unit of measure.
work="${TMPDIR:-/tmp}/verifax-exemplo"
rm -rf "$work"
mkdir -p "$work" "$out"
trap 'rm -rf "$work"' EXIT
sed -e 's|<PostalCode>1000-001</PostalCode>|<PostalCode>100-001</PostalCode>|' \
    -e 's|<UnitOfMeasure>Kg</UnitOfMeasure>|<UnitOfMeasure></UnitOfMeasure>|' \
    tests/fixtures/cli_questions.xml >"$work/saft.xml"

QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" \
  "$BUILD_DIR/tools/screenshots/verifax-screenshots" "$out" "$work/saft.xml"
