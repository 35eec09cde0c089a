#!/usr/bin/env bash
# probe-same-as-linux.sh WINE WIN-PROBE LINUX-BUILD FIXTURES
# The Windows probe under Wine against the Linux probe of LINUX-BUILD (its
# klangdeck-probe, engine plug-ins and hostile-files):
#  - the same tag, frame and record results for every fixture and every file
#    of the hostile corpus, each line valid JSON with the path in Windows form;
#  - the same formats and filter;
#  - every fixture decoded to the same samples: lossless formats exactly,
#    lossy ones within one step of 16 bits;
#  - Wine's drives C: and Z: listed as local disks.
# Exits 77 (skipped) when LINUX-BUILD has no probe.
set -euo pipefail
wine=$1 winprobe=$2 linux=$3 fixtures=$4
if [ -z "$linux" ] || [ ! -x "$linux/klangdeck-probe" ] || [ ! -x "$linux/hostile-files" ]; then
  echo "probe-same-as-linux: no Linux build with klangdeck-probe and hostile-files given" >&2
  exit 77
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "probe-same-as-linux: $*" >&2; exit 1; }

# What Wine's programs see of a path of this machine: drive Z:.
windows() { printf 'Z:%s' "${1//\//\\}"; }
# Each run is bounded: a Wine process that does not end is a failure named
# here, not the test's own timeout.
run_windows() {
  timeout 120 "$wine" "$winprobe" "$@" </dev/null 2>"$tmp/wine.err" || {
    local status=$?
    cat "$tmp/wine.err" >&2
    [ $status -eq 124 ] && echo "probe-same-as-linux: the Windows probe did not end within 120 s: $*" >&2
    return 1
  }
}

mkdir "$tmp/corpus"
"$linux/hostile-files" --inputs "$tmp/corpus/" >/dev/null || fail "cannot write the hostile corpus"
files=()
for f in "$fixtures"/* "$tmp/corpus"/*; do
  [ -f "$f" ] && [ "${f##*/}" != .stamp ] && files+=("$f")
done
winfiles=()
for f in "${files[@]}"; do winfiles+=("$(windows "$f")"); done

printf '%s\n' "${files[@]}" >"$tmp/paths"
"$linux/klangdeck-probe" "${files[@]}" >"$tmp/linux.jsonl" || fail "the Linux probe failed"
run_windows "${winfiles[@]}" >"$tmp/windows.jsonl" || fail "the Windows probe failed"
"$linux/klangdeck-probe" --formats >"$tmp/linux.formats"
run_windows --formats >"$tmp/windows.formats" || fail "the Windows probe failed on --formats"
run_windows --drives >"$tmp/windows.drives" || fail "the Windows probe failed on --drives"

decoded=()
for f in "$fixtures"/*; do
  case ${f##*.} in mp3|mp2|ogg|opus|wav|aif|aiff|aifc|flac) ;; *) continue ;; esac
  n=${#decoded[@]}
  "$linux/klangdeck-probe" --decode "$f" "$tmp/linux-$n.raw" >"$tmp/linux-$n.json" ||
    fail "the Linux probe cannot decode $f"
  run_windows --decode "$(windows "$f")" "$(windows "$tmp/windows-$n.raw")" >"$tmp/windows-$n.json" ||
    fail "the Windows probe cannot decode $f"
  decoded+=("$f")
done
printf '%s\n' "${decoded[@]}" >"$tmp/decoded"

python3 - "$tmp" <<'PY'
import array, json, os, sys

tmp = sys.argv[1]
problems = []

def windows(path):
    return 'Z:' + path.replace('/', '\\')

def lines(name):
    with open(os.path.join(tmp, name), encoding='utf-8') as f:
        return [json.loads(line) for line in f]

paths = open(os.path.join(tmp, 'paths'), encoding='utf-8').read().splitlines()
linux, win = lines('linux.jsonl'), lines('windows.jsonl')
if len(linux) != len(paths) or len(win) != len(paths):
    problems.append(f'{len(paths)} files, {len(linux)} Linux lines, {len(win)} Windows lines')
for path, l, w in zip(paths, linux, win):
    if w.pop('file') != windows(path):
        problems.append(f'{path}: the Windows line names another file')
    l.pop('file')
    if l != w:
        problems.append(f'{path}:\n  Linux   {json.dumps(l)}\n  Windows {json.dumps(w)}')

if open(os.path.join(tmp, 'linux.formats')).read() != open(os.path.join(tmp, 'windows.formats')).read():
    problems.append('the formats differ')

drives = lines('windows.drives')[0]
roots = {d['root']: d for d in drives}
for root in ('C:\\', 'Z:\\'):
    if root not in roots:
        problems.append(f'drive {root} is not listed: {drives}')
    elif roots[root]['kind_name'] != 'Lokaler Datenträger':
        problems.append(f'drive {root} is not a local disk: {roots[root]}')

lossless = ('.wav', '.aif', '.aiff', '.aifc', '.flac')
decoded = open(os.path.join(tmp, 'decoded'), encoding='utf-8').read().splitlines()
for n, path in enumerate(decoded):
    l = json.loads(open(os.path.join(tmp, f'linux-{n}.json')).read())
    w = json.loads(open(os.path.join(tmp, f'windows-{n}.json')).read())
    l.pop('file'), w.pop('file')
    if l != w:
        problems.append(f'{path}: decoded as {l} on Linux, {w} on Windows')
        continue
    a, b = array.array('h'), array.array('h')
    a.frombytes(open(os.path.join(tmp, f'linux-{n}.raw'), 'rb').read())
    b.frombytes(open(os.path.join(tmp, f'windows-{n}.raw'), 'rb').read())
    if len(a) != len(b) or not a:
        problems.append(f'{path}: {len(a)} samples on Linux, {len(b)} on Windows')
        continue
    worst = max(abs(x - y) for x, y in zip(a, b))
    allowed = 0 if path.lower().endswith(lossless) else 1
    if worst > allowed:
        problems.append(f'{path}: samples differ by up to {worst} (allowed {allowed})')

if problems:
    print('\n'.join(problems), file=sys.stderr)
    sys.exit(1)
print(f'{len(paths)} files probed, {len(decoded)} decoded: the same on both systems')
PY
