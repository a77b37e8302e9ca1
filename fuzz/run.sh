#!/usr/bin/env bash
# Builds the libFuzzer targets in build-fuzz/ and runs each for a bounded time,
# seeded with the test fixtures and the shared corpus when it is there.
# usage: fuzz/run.sh [SECONDS per target, default 60]
# Fails on any crash, leak, input slower than 2 s or memory over 512 MiB.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
root=$PWD
build=$root/build-fuzz
corpus=$root/../shared/corpus/xls

find_clang() {
  for v in -14 "" -15 -16; do  # the version whose runtime scripts/setup.sh installs first
    if command -v "clang++$v" >/dev/null && command -v "clang$v" >/dev/null; then
      echo "$v"; return 0
    fi
  done
  return 1
}
suffix=$(find_clang) || { echo "clang++ not found: run scripts/setup.sh (clang-14, libclang-rt-14-dev)" >&2; exit 1; }

CC=clang$suffix CXX=clang++$suffix cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZEMBRIX_FUZZ=ON -DZEMBRIX_BUILD_TESTS=OFF -DZEMBRIX_BUILD_BENCH=OFF -DZEMBRIX_BUILD_GUI=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target pipeline_fuzz cfb_fuzz book_fuzz extract_streams

sources=("$root/tests/fixtures")
if [[ -d $corpus ]]; then sources+=("$corpus"); else echo "note: $corpus is absent; seeding with the fixtures only"; fi
# libFuzzer reads seed folders flat: list every file of the corpus tree into one folder of links.
mkdir -p "$build/seeds/files" "$build/artifacts"
find "${sources[@]}" -type f \( -iname '*.xls' -o -iname '*.xlt' \) -print0 |
  while IFS= read -r -d '' f; do ln -sf "$f" "$build/seeds/files/$(echo "$f" | md5sum | cut -c1-16).xls"; done
rm -rf "$build/seeds/streams"
ASAN_OPTIONS=detect_leaks=0 "$build/fuzz/extract_streams" "$build/seeds/streams" "$build"/seeds/files/*

# A small quarantine keeps ASan's own memory well under the RSS limit.
export ASAN_OPTIONS=detect_leaks=1:quarantine_size_mb=32:malloc_context_size=20
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
summary=()
for target in pipeline_fuzz cfb_fuzz book_fuzz; do
  seeds=("$build/seeds/files"); maxlen=1048576
  # The BIFF8 target takes bare Workbook streams, among them the named regression inputs.
  [[ $target == book_fuzz ]] && { seeds=("$build/seeds/streams" "$root/tests/regressions"); maxlen=262144; }
  work=$build/work/$target
  mkdir -p "$work"
  log=$build/$target.log
  echo "== $target: ${seconds}s"
  set +e
  "$build/fuzz/$target" "$work" "${seeds[@]}" -max_total_time="$seconds" -timeout=2 -rss_limit_mb=512 \
    -malloc_limit_mb=512 -max_len="$maxlen" -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/$target-" >"$log" 2>&1
  rc=$?
  set -e
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
  summary+=("$target: ${runs:-?} executions, exit $rc")
  if [[ $rc -ne 0 ]]; then
    status=1
    echo "$target FAILED (exit $rc); the input is in $build/artifacts/; log $log:" >&2
    grep -E 'ERROR|SUMMARY|property failed|does not|Test unit written|deadly|==[0-9]+==' "$log" | head -40 >&2
  fi
done
printf '%s\n' "${summary[@]}"
exit $status
