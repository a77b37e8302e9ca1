#!/bin/bash
# usage: check_readers.sh CORPUS_EXPORT
# Runs the corpus round trip (CORPUS_EXPORT writes the before/after pairs), then reads
# every pair with python3-xlrd and, in one headless call, with LibreOffice. Fails when
# a reader that read a file before cannot read our copy, or when a first-sheet cell
# other than the ones we wrote differs. Exits 77 when the corpus or a reader is missing.
set -u
export_tool=$(realpath "$1")
py=/usr/bin/python3  # the system python has xlrd; a pyenv one on PATH may not
here=$(cd "$(dirname "$0")" && pwd)
if ! "$py" -c 'import xlrd' 2>/dev/null || ! command -v soffice >/dev/null; then
    echo "skipped: needs python3-xlrd and soffice" >&2
    exit 77
fi
work=$(mktemp -d)
trap '[ "${KEEP:-}" ] || rm -rf "$work"' EXIT INT TERM  # KEEP=1 leaves the pairs for a look
mkdir -p "$work/pairs" "$work/csv" "$work/home"

"$export_tool" "$work/pairs"
rc=$?
[ $rc -eq 77 ] && exit 77
[ $rc -ne 0 ] && { echo "the round trip itself failed (see above)" >&2; exit 1; }

# First sheet, UTF-8, values as shown. LibreOffice converts many files per start (a start
# per file would take far too long), but a batch sometimes ends early without an error:
# go on after the last file it reached until every file has been tried.
filter='csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,true'
ls "$work"/pairs/*.xls >"$work/todo"
starts=0
while [ -s "$work/todo" ]; do
    mapfile -t batch <"$work/todo"
    HOME="$work/home" timeout 600 soffice --headless --convert-to "$filter" --outdir "$work/csv" \
        "${batch[@]}" >"$work/soffice.log" 2>&1
    starts=$((starts + 1))
    reached=$(grep -c '^convert ' "$work/soffice.log")
    [ "$reached" -eq 0 ] && reached=1  # the first file stopped it: skip that one
    tail -n +"$((reached + 1))" "$work/todo" >"$work/todo.next"
    mv "$work/todo.next" "$work/todo"
done
echo "LibreOffice: $starts starts, $(ls "$work/csv" | wc -l) CSV files"

"$py" "$here/compare_pairs.py" "$work/pairs" "$work/csv" || { echo "pairs and exports: $work (kept with KEEP=1)" >&2; exit 1; }
