#!/usr/bin/env bash
# Client benchmark: a 256 MiB download through the window of the real client (UI driver,
# bench_client_transfer.exe) against vsftpd on loopback, and curl on the same file in the same
# run (median of AFC_BENCH_RUNS, default 3), each writing a new file every run. Prints the
# medians, the throughput ratios (against curl writing a file and curl writing to /dev/null) and the
# longest time the window took to answer a message during the transfers.
# Usage: bash scripts/bench client   (or bash bench/client_transfer.sh)
# AFC_BENCH_SMOKE=1 (the test command): a 4 MiB file, one run, the tree as built.
set -euo pipefail
source "$(dirname "$0")/../scripts/lib/bench_start.sh"
runs=${AFC_BENCH_RUNS:-3}
mib=256
if [ -n "$smoke" ]; then runs=1; mib=4; fi
run=$BUILD/bench-client-ftpd
bash "$here/tests/integration/ftpd.sh" start "$run"
local_dir=$BUILD/bench-client-local
rm -rf "$local_dir" && mkdir -p "$local_dir"
trap 'bash "$here/tests/integration/ftpd.sh" stop "$run"; rm -rf "$local_dir" "$run"/*-root/pub/big256.bin; stop_started' EXIT
root=$(awk '$1=="vsftpd"{print $3}' "$run/servers.txt")
port=$(awk '$1=="vsftpd"{print $2}' "$run/servers.txt")
size=$((mib * 1024 * 1024))
head -c "$size" /dev/urandom >"$root/pub/big256.bin"
chown ftp "$root/pub/big256.bin"

timeit() { local t0 t1; t0=$(date +%s.%N); "$@" >/dev/null 2>&1; t1=$(date +%s.%N); echo "$t1 - $t0" | bc -l; }
# curl, like the client, writes a new file every run (an overwrite would add ext4's flush of the
# truncated copy at close); the network-only ceiling is curl writing to /dev/null.
cnull=$(for _ in $(seq "$runs"); do timeit curl -s -o /dev/null "ftp://127.0.0.1:$port/pub/big256.bin"; done | median)
cdown=$(for _ in $(seq "$runs"); do rm -f "$local_dir/curl.bin"; timeit curl -s -o "$local_dir/curl.bin" "ftp://127.0.0.1:$port/pub/big256.bin"; done | median)
rm -f "$local_dir/curl.bin"

start_xvfb
start_wine
out=$(cd "$WIN_BUILD/bench" && wine ./bench_client_transfer.exe "$(winepath -w "$WIN_BUILD/app/ftpclient.exe")" \
  "127.0.0.1:$port" big256.bin "$size" "$(winepath -w "$local_dir")" "$runs" | tr -d "\r")
echo "$out"
odown=$(awk '$2=="download_s"{print $3}' <<<"$out")
ping=$(awk '$2=="max_answer_ms"{print $3}' <<<"$out")
mb() { echo "scale=1; $mib / $1" | bc -l; }
echo "curl download_s $cdown ($(mb "$cdown") MiB/s)   client $odown ($(mb "$odown") MiB/s)   throughput ratio client/curl $(echo "scale=2; $cdown / $odown" | bc -l)"
echo "throughput ratio client / ceiling (curl to /dev/null, $cnull s): $(echo "scale=2; $cnull / $odown" | bc -l)"
echo "window answer time during the transfers: at most $ping ms"
