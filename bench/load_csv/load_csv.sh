#!/usr/bin/env bash
# Loads one generated CSV file (default 1,000,000 rows x 10 mixed columns) into a Release build of
# tds_test_server three times in the same run: with tessrun (type refinement on), with tessrun
# --no_refine, and with freebcp into a table of the same columns. Prints each time, the ratio to
# freebcp, rows per second and tessrun's peak resident memory; with more than one size, the memory
# figures show whether memory grows with the file (it must not).
#   bench/load_csv/load_csv.sh [ROWS...]        (default: 100000 1000000)
# Environment: TESSALY_BENCH_BUILD (build folder, default build-bench-load at the top of the tree).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
build=${TESSALY_BENCH_BUILD:-$top/build-bench-load}
sizes=("$@")
[[ ${#sizes[@]} -gt 0 ]] || sizes=(100000 1000000)

cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target tessrun tds_test_server -j 2 >/dev/null

exec /usr/bin/python3 "$here/load_csv.py" "$build/src/agent/tessrun" \
  "$build/tests/server/tds_test_server" "${sizes[@]}"
