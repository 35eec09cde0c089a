#!/usr/bin/env bash
# probe-ends.sh WINE PROBE FILE RUNS: the Windows probe decodes FILE through
# the engine RUNS times in a row under Wine, and every run ends by itself
# with status 0 within 60 s. The probe never frees the engine, so each run
# ends with the engine's threads still there, as the program does.
set -euo pipefail
wine=$1 probe=$2 file=$3 runs=$4
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
in="Z:${file//\//\\}" out="Z:${tmp//\//\\}\\out.raw"
for ((i = 1; i <= runs; i++)); do
  status=0
  timeout 60 "$wine" "$probe" --decode "$in" "$out" >"$tmp/line" 2>"$tmp/err" </dev/null || status=$?
  if [ $status -ne 0 ]; then
    cat "$tmp/line" "$tmp/err" >&2
    [ $status -eq 124 ] && echo "probe-ends: run $i of $runs did not end within 60 s" >&2 ||
      echo "probe-ends: run $i of $runs ended with status $status" >&2
    exit 1
  fi
done
echo "probe-ends: $runs runs, each ended by itself"
