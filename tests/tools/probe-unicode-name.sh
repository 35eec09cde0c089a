#!/usr/bin/env bash
# probe-unicode-name.sh PROBE FIXTURES [WINE]: the probe reads a file named on
# its command line with umlauts, a dash and CJK characters together (outside
# every ANSI code page of Windows), and --decode writes to such a name. With
# WINE the probe is a Windows program run through it, given Windows paths.
set -euo pipefail
probe=$1 fixtures=$2 wine=${3:-}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "probe-unicode-name: $*" >&2; exit 1; }

name='Grüße – Ünïcode 東京'
cp "$fixtures/tone-44100-cbr128.mp3" "$tmp/$name.mp3"
in=$tmp/$name.mp3 out=$tmp/$name.raw
run=("$probe")
if [ -n "$wine" ]; then
  run=(timeout 120 "$wine" "$probe")
  in="Z:${in//\//\\}" out="Z:${out//\//\\}"
fi
"${run[@]}" "$in" >"$tmp/file.json" </dev/null || fail "the probe failed on $in"
"${run[@]}" --decode "$in" "$out" >"$tmp/decode.json" </dev/null || fail "the probe cannot decode $in"
python3 - "$tmp" "$in" "$name" <<'PY' || fail "$(cat "$tmp/file.json" "$tmp/decode.json")"
import json, os, sys
tmp, path, name = sys.argv[1:]
line = json.loads(open(os.path.join(tmp, 'file.json'), encoding='utf-8').read())
decoded = json.loads(open(os.path.join(tmp, 'decode.json'), encoding='utf-8').read())
raw = os.path.join(tmp, name + '.raw')
assert line['file'] == path, line['file']
assert line['record']['title'] == name and line['record']['length'] == 1, line['record']
assert decoded['file'] == path and decoded['frames'] > 0, decoded
assert os.path.getsize(raw) == decoded['frames'] * decoded['channels'] * 2, os.path.getsize(raw)
PY
echo "probe-unicode-name: ok"
