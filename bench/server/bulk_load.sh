#!/usr/bin/env bash
# Loads N rows (default 1,000,000) of 10 mixed columns into a Release build of tds_test_server with
# freebcp and prints the elapsed seconds and rows per second.
#   bench/server/bulk_load.sh [ROWS]
# Environment: TESSALY_BENCH_BUILD (build folder, default build-bench at the top of the tree),
# BATCH (freebcp -b, default 1000 as the product uses).
set -euo pipefail

top=$(cd "$(dirname "$0")/../.." && pwd)
rows=${1:-1000000}
build=${TESSALY_BENCH_BUILD:-$top/build-bench}
batch=${BATCH:-1000}
password='Tessaly!2026'

cmake -S "$top/tests/server" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target tds_test_server -j 2 >/dev/null

work=$(mktemp -d)
server_pid=
cleanup() {
  [[ -n $server_pid ]] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

/usr/bin/python3 "$(dirname "$0")/make_rows.py" "$rows" >"$work/rows.txt"

"$build/tds_test_server" --port 0 >"$work/port" &
server_pid=$!
for _ in $(seq 50); do [[ -s $work/port ]] && break; sleep 0.1; done
port=$(head -1 "$work/port")

export TDSVER=7.4
tsql -H 127.0.0.1 -p "$port" -U sa -P "$password" >/dev/null <<'SQL'
CREATE DATABASE bench
go
USE bench
go
CREATE TABLE [rows] ([id] int NOT NULL PRIMARY KEY, [code] varchar(20) NOT NULL, [name] nvarchar(60) NULL,
  [qty] smallint NULL, [price] decimal(12,2) NULL, [ratio] float NULL, [total] money NULL,
  [created] datetime NULL, [active] bit NULL, [big] bigint NULL)
go
SQL

start=$(date +%s.%N)
freebcp bench.dbo.rows in "$work/rows.txt" -c -b "$batch" -S "127.0.0.1:$port" -U sa -P "$password" >"$work/bcp.out"
end=$(date +%s.%N)
# CPU seconds the server spent (utime + stime), to tell whether it or the client was the bottleneck.
server_cpu=$(awk -v hz="$(getconf CLK_TCK)" '{printf "%.2f", ($14 + $15) / hz}' "/proc/$server_pid/stat")
count=$(printf 'USE bench\ngo\nSELECT COUNT(*) FROM rows\ngo\n' |
  tsql -H 127.0.0.1 -p "$port" -U sa -P "$password" -o q 2>/dev/null | tr -d ' \t' | grep -E '^[0-9]+$' | tail -1)
/usr/bin/python3 - "$start" "$end" "$rows" "$count" "$server_cpu" <<'PY'
import sys
start, end, rows, count, cpu = float(sys.argv[1]), float(sys.argv[2]), int(sys.argv[3]), sys.argv[4], sys.argv[5]
secs = end - start
print(f"rows sent: {rows}, rows in table: {count}")
print(f"elapsed: {secs:.2f} s, {rows / secs:,.0f} rows/s (server CPU {cpu} s)")
PY
