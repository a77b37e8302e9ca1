#!/usr/bin/env bash
# Arranges a copy of examples/candidates.xls with zembrix-cli and shows its first rows.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -x build/zembrix-cli ] || bash scripts/build.sh
out="${TMPDIR:-/tmp}/zembrix-example.xls"
cp examples/candidates.xls "$out"
build/zembrix-cli arrange "$out"
build/zembrix-cli show "$out" 12
echo "已保存：$out"
