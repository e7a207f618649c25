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
trap 'rm -rf "$home"' EXIT

step() { printf '\n== %s\n$ %s\n' "$1" "${*:2}"; "${@:2}"; }

step "Decode a captured transfer (progress texts, then one line per measurement)" \
    "$tool" --home "$home" decode "$capture"
step "The same as JSON (progress goes to stderr)" \
    "$tool" --home "$home" decode "$capture" --json 2>/dev/null

printf '\nThe GUI starts with: %s/src/app/PLMView\n' "$build"
