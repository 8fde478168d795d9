#!/usr/bin/env bash
# FTP transfer benchmark: starts vsftpd (the integration tests' fixture) on loopback, measures
# curl and the FTP library (bench_ftp_transfer.exe under Wine) on the same server in one run:
# 1 GiB download and upload (median of AFC_BENCH_RUNS, default 3) and a 10,000-entry listing.
# Prints medians and the ratios against curl. Usage: bash bench/ftp_transfer.sh
# AFC_BENCH_SMOKE=1 (the test command): a 4 MiB file, one run, the tree as built.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/scripts/env.sh"
smoke=${AFC_BENCH_SMOKE:-}
[ "$smoke" != 0 ] || smoke=
[ -n "$smoke" ] || bash "$here/scripts/build" win >/dev/null
runs=${AFC_BENCH_RUNS:-3}
mib=1024
if [ -n "$smoke" ]; then runs=1; mib=4; fi
run=$BUILD/bench-ftpd
bash "$here/tests/integration/ftpd.sh" start "$run"
trap 'bash "$here/tests/integration/ftpd.sh" stop "$run"; rm -f "$run"/curl-*.bin; stop_started' EXIT
root=$(awk '$1=="vsftpd"{print $3}' "$run/servers.txt")
port=$(awk '$1=="vsftpd"{print $2}' "$run/servers.txt")
truncate -s "${mib}M" "$root/pub/bench1g.bin"   # sparse: the server's disk is not what is measured
head -c 1M /dev/urandom | dd of="$root/pub/bench1g.bin" conv=notrunc status=none
chown ftp "$root/pub/bench1g.bin"

median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
timeit() { local t0 t1; t0=$(date +%s.%N); "$@" >/dev/null 2>&1; t1=$(date +%s.%N); echo "$t1 - $t0" | bc -l; }

url=ftp://127.0.0.1:$port
cdown=$(for _ in $(seq "$runs"); do timeit curl -s -o "$run/curl-down.bin" "$url/pub/bench1g.bin"; done | median)
cup=$(for _ in $(seq "$runs"); do timeit curl -s -T "$run/curl-down.bin" "$url/pub/curl-up.bin"; done | median)
clist=$(for _ in $(seq $((runs + 2))); do timeit curl -s -o /dev/null "$url/pub/big10k/"; done | median)
rm -f "$root/pub/curl-up.bin"

start_wine
out=$(cd "$WIN_BUILD/bench" && AFC_FTPD_DIR="$run" AFC_BENCH_RUNS="$runs" wine ./bench_ftp_transfer.exe | tr -d "\r")
echo "$out"
odown=$(awk '$2=="download_s"{print $3}' <<<"$out")
oup=$(awk '$2=="upload_s"{print $3}' <<<"$out")
olist=$(awk '$2=="list_s"{print $3}' <<<"$out")
mb() { echo "scale=1; $mib / $1" | bc -l; }
echo "curl download_s $cdown ($(mb "$cdown") MiB/s)   ours $odown ($(mb "$odown") MiB/s)   throughput ratio ours/curl $(echo "scale=2; $cdown / $odown" | bc -l)"
echo "curl upload_s $cup ($(mb "$cup") MiB/s)   ours $oup ($(mb "$oup") MiB/s)   throughput ratio ours/curl $(echo "scale=2; $cup / $oup" | bc -l)"
echo "curl list_s $clist   ours $olist   time ratio ours/curl $(echo "scale=2; $olist / $clist" | bc -l)"
