#!/usr/bin/env bash
# Builds Zembrix and starts its window; without a display, arranges a copy of
# the bundled example with the command line instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x build/zembrix ]; then
  exec build/zembrix
fi
echo "没有图形显示，改用命令行编排示例工作簿："
exec bash scripts/example.sh
