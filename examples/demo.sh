#!/usr/bin/env bash
# A short plmtool demonstration on the bundled sample capture.
# usage: examples/demo.sh BUILD_DIR
set -euo pipefail

build=${1:?usage: examples/demo.sh BUILD_DIR}
here=$(cd "$(dirname "$0")" && pwd)
tool="$build/src/cli/plmtool"
capture="$here/sample_capture.txt"
[ -x "$tool" ] || { echo "plmtool not found in $build (build it first: make)" >&2; exit 1; }

# The demonstration keeps its settings, data file and logs in a folder of its own.
home=$(mktemp -d "${TMPDIR:-/tmp}/plmview-demo.XXXXXX")
other=$(mktemp -d "${TMPDIR:-/tmp}/plmview-demo2.XXXXXX")
out=${PLM_DEMO_OUT:-$(mktemp -d "${TMPDIR:-/tmp}/plmview-out.XXXXXX")}
mkdir -p "$out"
trap 'rm -rf "$home" "$other"' EXIT

step() { printf '\n== %s\n$ %s\n' "$1" "${*:2}"; "${@:2}"; }

step "Decode a captured transfer (progress texts, then one line per measurement)" \
    "$tool" --home "$home" decode "$capture"
step "File every measurement under customer > test circuit > measurement name" \
    "$tool" --home "$home" register "$capture" 東京電力 第1変電所 遮断器A
step "The customer tree with its record counts" \
    "$tool" --home "$home" list
step "The labels and operating times of the second measurement" \
    "$tool" --home "$home" show 東京電力 第1変電所 遮断器A 1
step "Its CSV test-result file (CP932, CR LF)" \
    "$tool" --home "$home" csv 東京電力 第1変電所 遮断器A 1 "$out/result.CSV"
step "Its printed report as a PDF page and as a 150 dpi PNG" \
    "$tool" --home "$home" report 東京電力 第1変電所 遮断器A 1 "$out/report.pdf"
"$tool" --home "$home" report 東京電力 第1変電所 遮断器A 1 "$out/report.png"
step "Figures and verdict of the first measurement (no limits yet)" \
    "$tool" --home "$home" analyze 東京電力 第1変電所 遮断器A 0
step "A close limit that the poles break, kept in LIMITS.INI" \
    "$tool" --home "$home" limits 東京電力 第1変電所 --set close_max_ms=45.5 --set pole_group=1,2,3
step "The verdict again, as JSON" \
    "$tool" --home "$home" analyze 東京電力 第1変電所 遮断器A 0 --json
step "The trend of every measurement of the name, as JSON and as a UTF-8 CSV file" \
    "$tool" --home "$home" trend 東京電力 第1変電所 遮断器A --json
"$tool" --home "$home" trend 東京電力 第1変電所 遮断器A --csv "$out/trend.csv"
step "The report with the judgement page (PDF page 2, or report-judged-2.png beside the PNG)" \
    "$tool" --home "$home" report 東京電力 第1変電所 遮断器A 0 "$out/report-judged.pdf" --analysis
"$tool" --home "$home" report 東京電力 第1変電所 遮断器A 0 "$out/report-judged.png" --analysis
step "Export the customer for another installation" \
    "$tool" --home "$home" export 東京電力 "$out/tokyo.QBX"
step "Import it into another installation" \
    "$tool" --home "$other" import "$out/tokyo.QBX"
"$tool" --home "$other" list

printf '\nOutputs are in %s\n' "$out"
printf 'The GUI starts with: %s/src/app/PLMView (needs a display; make run starts it)\n' "$build"
