#!/bin/bash
# usage: bench/cli_bench.sh [BUILD_DIR]
# Wall time and peak memory of zembrix-cli opening, checking, arranging and
# saving a full sheet (65,534 candidates, 2,000 schools), against LibreOffice
# headless merely loading and saving the same file.
set -euo pipefail
build=${1:-build}
cli="$build/zembrix-cli"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 "$(dirname "$0")/make_full_sheet.py" "$work/full.xls" 2000
echo "workbook: $(stat -c %s "$work/full.xls") bytes"

# Seven runs, each on a fresh copy; the median wall time and the largest peak memory.
times=()
peak=0
for i in 1 2 3 4 5 6 7; do
    cp "$work/full.xls" "$work/run.xls"
    s=$(date +%s%N)
    /usr/bin/time -f "%M" -o "$work/mem" "$cli" arrange "$work/run.xls" >/dev/null
    e=$(date +%s%N)
    times+=($(( (e - s) / 1000000 )))
    kb=$(cat "$work/mem")
    [ "$kb" -gt "$peak" ] && peak=$kb
done
median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n 4p)
echo "zembrix-cli arrange: median ${median} ms wall (runs: ${times[*]} ms), peak ${peak} KiB"

mkdir -p "$work/home" "$work/lo"
s=$(date +%s%N)
HOME="$work/home" timeout 300 soffice --headless --convert-to xls:"MS Excel 97" --outdir "$work/lo" "$work/full.xls" >/dev/null 2>&1
e=$(date +%s%N)
lo_ms=$(( (e - s) / 1000000 ))
echo "LibreOffice load and save: ${lo_ms} ms"
awk -v a="$median" -v b="$lo_ms" 'BEGIN { if (a < 1) a = 1; printf "zembrix-cli is %.0f times faster\n", b / a }'
