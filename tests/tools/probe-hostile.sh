#!/usr/bin/env bash
# probe-hostile.sh PROBE HOSTILE-FILES LIMIT: the probe prints one valid
# UTF-8 JSON line for a file whose name is not UTF-8, and reads the sparse
# 4 GB giant-frame file within 20 s under an address-space limit of LIMIT
# bytes (0: no limit). Exits 77 (skipped) without sparse files.
set -euo pipefail
probe=$1 hostile=$2 limit=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "probe-hostile: $*" >&2; exit 1; }

# A Latin-1 name: the line is valid UTF-8, the byte travels as \udcfc.
cp "$(dirname "$probe")/fixtures/tone-44100-cbr128.mp3" "$tmp/M"$'\xfc'"ller.mp3"
line=$("$probe" "$tmp/M"$'\xfc'"ller.mp3")
printf '%s' "$line" | iconv -f UTF-8 -t UTF-8 >/dev/null || fail "not UTF-8: $line"
case $line in
    *'"file": "'"$tmp"'/M\udcfcller.mp3"'*'"title": "M\udcfcller"'*'"length": 1}}') ;;
    *) fail "unexpected line: $line" ;;
esac

status=0
"$hostile" --giant "$tmp/riese.mp3" || status=$?
[ "$status" -eq 77 ] && exit 77
[ "$status" -eq 0 ] || fail "cannot make the giant-frame file"
run=("$probe" "$tmp/riese.mp3")
if [ "$limit" != 0 ]; then
    run=(prlimit --as="$limit" "${run[@]}")
fi
start=$(date +%s%N)
line=$("${run[@]}") || fail "the probe failed on the giant-frame file"
elapsed_ms=$(( ($(date +%s%N) - start) / 1000000 ))
echo "giant-frame file: ${elapsed_ms} ms: $line"
[ "$elapsed_ms" -lt 20000 ] || fail "took ${elapsed_ms} ms"
case $line in
    *'"id3": {"result": 0, "exists": true, "version": 3,'*'"frames": 1, "title": "", "artist": "Riese",'*'"mpeg": {"result": 0, "valid": true, "first_frame": 4106,'*'"record": {"title": "riese", "artist": "Riese", "album": "", "length": 268435}}'*) ;;
    *) fail "unexpected line: $line" ;;
esac
echo "probe-hostile: ok"
