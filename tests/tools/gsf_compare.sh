#!/bin/bash
# usage: gsf_compare.sh BEFORE AFTER
# libgsf as an independent reader of the compound file: both must list the same storages and
# streams in the same order, with equal sizes and storage timestamps except the top-level Workbook
# stream's size, and every stream other than Workbook must be byte-identical.
# Exit 0 when everything holds, 1 on differences, 2 when gsf cannot read a file.
set -u
export LC_ALL=C.UTF-8  # gsf prints names in the locale charset
if [ $# -ne 2 ]; then
    sed -n '2p' "$0" >&2
    exit 2
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

for side in before after; do
    f=$1; [ $side = after ] && f=$2
    if ! gsf list "$f" >"$work/$side.list" 2>"$work/$side.err" || [ -s "$work/$side.err" ]; then
        echo "gsf_compare: gsf cannot list $f:" >&2
        cat "$work/$side.err" >&2
        exit 2
    fi
    # drop the "FILE:" header; keep kind, timestamp, size, path split by US (0x1F): paths may hold tabs
    tail -n +2 "$work/$side.list" |
        sed -E 's/^([df]) +(([0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]{8}) +)?([0-9]+) (.*)$/\1\x1f\3\x1f\4\x1f\5/' \
            >"$work/$side.tsv"
done

is_workbook() { [ "${1,,}" = workbook ]; }

problems=()
problem() { problems+=("$*"); }

mapfile -t B <"$work/before.tsv"
mapfile -t A <"$work/after.tsv"
if [ ${#B[@]} -ne ${#A[@]} ]; then
    problem "entry count ${#B[@]} -> ${#A[@]}"
fi
n=${#B[@]}; [ ${#A[@]} -lt "$n" ] && n=${#A[@]}
for ((i = 0; i < n; i++)); do
    IFS=$'\x1f' read -r kb tb sb pb <<<"${B[i]}"
    IFS=$'\x1f' read -r ka ta sa pa <<<"${A[i]}"
    if [ "$kb" != "$ka" ] || [ "$pb" != "$pa" ]; then
        problem "entry $((i + 1)): $kb '$pb' -> $ka '$pa' (streams and storages must keep their order)"
        continue
    fi
    [ "$tb" != "$ta" ] && problem "storage '$pb': timestamp $tb -> $ta"
    [ "$kb" = f ] || continue
    if is_workbook "$pb"; then
        continue
    fi
    [ "$sb" != "$sa" ] && problem "stream '$pb': size $sb -> $sa"
    if ! gsf cat "$1" "$pb" >"$work/b.bin" 2>"$work/err" || [ -s "$work/err" ] ||
       ! gsf cat "$2" "$pb" >"$work/a.bin" 2>"$work/err" || [ -s "$work/err" ]; then
        problem "stream '$pb': gsf cat failed: $(head -1 "$work/err")"
        continue
    fi
    if [ "$(stat -c %s "$work/b.bin")" != "$sb" ]; then
        problem "stream '$pb': gsf cat gave $(stat -c %s "$work/b.bin") bytes of $sb"
        continue
    fi
    if ! cmp -s "$work/b.bin" "$work/a.bin"; then
        problem "stream '$pb' differs: $(cmp "$work/b.bin" "$work/a.bin" 2>&1 | head -1 | sed 's/.*differ: //')"
    fi
done
if ! grep -qiP '^f\x1f[^\x1f]*\x1f[0-9]+\x1fworkbook$' "$work/after.tsv"; then
    problem "no top-level Workbook stream in the result"
fi

if [ ${#problems[@]} -ne 0 ]; then
    echo "gsf_compare: $1 -> $2: ${#problems[@]} difference(s)" >&2
    printf '  %s\n' "${problems[@]}" >&2
    exit 1
fi
echo "gsf_compare: OK, $n entries, every stream but Workbook identical"
