#!/usr/bin/env bash
# FTP transfer benchmark: starts the integration tests' servers on loopback and measures curl,
# lftp and the FTP library (bench_ftp_transfer.exe under Wine) on the same vsftpd in one run:
# 1 GiB download and upload and a 10,000-entry listing, medians of AFC_BENCH_RUNS (default 5).
# Prints the medians and the ratios against the faster of curl and lftp, and the download's
# ratio against the network-only ceiling (curl writing to /dev/null).
# Every client writes a new file in every run (the previous copy is deleted, untimed): ext4
# flushes a file truncated by an overwrite when it is closed, a cost that would be charged to
# whichever client happens to overwrite, not to the transfer.
# Every figure is a median; the least and most of its runs follow it in brackets.
# Usage: bash bench/ftp_transfer.sh
# AFC_BENCH_OURS=<folder>: run that folder's bench_ftp_transfer.exe instead of this tree's (a
# build from before a change, measured against the same curl in the same run).
# AFC_BENCH_SMOKE=1 (the test command): a 4 MiB file, one run, the tree as built.
set -euo pipefail
source "$(dirname "$0")/../scripts/lib/bench_start.sh"
runs=${AFC_BENCH_RUNS:-5}
mib=1024
if [ -n "$smoke" ]; then runs=1; mib=4; fi
run=$BUILD/bench-ftpd
bash "$here/tests/integration/ftpd.sh" start "$run"
trap 'bash "$here/tests/integration/ftpd.sh" stop "$run"; rm -f "$run"/curl-*.bin "$run"/lftp-*.bin; stop_started' EXIT
root=$(awk '$1=="vsftpd"{print $3}' "$run/servers.txt")
port=$(awk '$1=="vsftpd"{print $2}' "$run/servers.txt")
truncate -s "${mib}M" "$root/pub/bench1g.bin"   # sparse: the server's disk is not what is measured
head -c 1M /dev/urandom | dd of="$root/pub/bench1g.bin" conv=notrunc status=none
chown ftp "$root/pub/bench1g.bin"

# The median of the timed runs and their least and most: "1.200 [1.100-1.310]".
spread() { sort -g | awk '{a[NR]=$1} END {printf "%.3f [%.3f-%.3f]\n", a[int((NR+1)/2)], a[1], a[NR]}'; }
timeit() { local t0 t1; t0=$(date +%s.%N); "$@" >/dev/null 2>&1; t1=$(date +%s.%N); echo "$t1 - $t0" | bc -l; }
lftpc() { lftp -c "set net:max-retries 1; set ftp:passive-mode on; set xfer:clobber on; open -u anonymous,x ftp://127.0.0.1:$port; $1"; }

url=ftp://127.0.0.1:$port
cnull=$(for _ in $(seq "$runs"); do timeit curl -s -o /dev/null "$url/pub/bench1g.bin"; done | spread)
cdown=$(for _ in $(seq "$runs"); do rm -f "$run/curl-down.bin"; timeit curl -s -o "$run/curl-down.bin" "$url/pub/bench1g.bin"; done | spread)
cup=$(for _ in $(seq "$runs"); do timeit curl -s -T "$run/curl-down.bin" "$url/pub/curl-up.bin"; done | spread)
clist=$(for _ in $(seq "$runs"); do timeit curl -s -o /dev/null "$url/pub/big10k/"; done | spread)
ldown=$(for _ in $(seq "$runs"); do rm -f "$run/lftp-down.bin"; timeit lftpc "get pub/bench1g.bin -o $run/lftp-down.bin"; done | spread)
lup=$(for _ in $(seq "$runs"); do timeit lftpc "put $run/curl-down.bin -o pub/lftp-up.bin"; done | spread)
llist=$(for _ in $(seq "$runs"); do timeit lftpc "cls -l pub/big10k/"; done | spread)
for f in "$run/curl-down.bin" "$run/lftp-down.bin" "$root/pub/curl-up.bin" "$root/pub/lftp-up.bin"; do
  [ "$(stat -c %s "$f" 2>/dev/null || echo 0)" = $((mib * 1048576)) ] || { echo "bench: $f is not $mib MiB: a client failed" >&2; exit 1; }
done
rm -f "$root/pub/curl-up.bin" "$root/pub/lftp-up.bin" "$run/curl-down.bin" "$run/lftp-down.bin"

start_wine
out=$(cd "${AFC_BENCH_OURS:-$WIN_BUILD/bench}" && AFC_FTPD_DIR="$run" AFC_BENCH_RUNS="$runs" wine ./bench_ftp_transfer.exe | tr -d "\r")
echo "$out"
odown="$(awk '$2=="download_s"{print $3}' <<<"$out") [$(awk '$2=="download_spread"{print $3}' <<<"$out")]"
oup="$(awk '$2=="upload_s"{print $3}' <<<"$out") [$(awk '$2=="upload_spread"{print $3}' <<<"$out")]"
olist=$(awk '$2=="list_s"{print $3}' <<<"$out")
mb() { echo "scale=1; $mib / $1" | bc -l; }
min() { echo "if ($1 < $2) $1 else $2" | bc -l; }
# The medians alone, for the arithmetic.
m1() { echo "${1%% *}"; }
for v in cnull cdown cup clist ldown lup llist odown oup; do declare "${v}_all=${!v}" "$v=$(m1 "${!v}")"; done
bdown=$(min "$cdown" "$ldown"); bup=$(min "$cup" "$lup"); blist=$(min "$clist" "$llist")
echo "medians of $runs runs (seconds): 1 GiB download, 1 GiB upload, 10,000-entry listing; every download writes a new file"
printf '  %-5s download %s (%s MiB/s)  to /dev/null: the network-only ceiling\n' curl "$cnull_all" "$(mb "$cnull")"
printf '  %-5s download %s (%s MiB/s)  upload %s (%s MiB/s)  list %s\n' curl "$cdown_all" "$(mb "$cdown")" "$cup_all" "$(mb "$cup")" "$clist_all"
printf '  %-5s download %s (%s MiB/s)  upload %s (%s MiB/s)  list %s\n' lftp "$ldown_all" "$(mb "$ldown")" "$lup_all" "$(mb "$lup")" "$llist_all"
printf '  %-5s download %s (%s MiB/s)  upload %s (%s MiB/s)  list %s\n' ours "$odown_all" "$(mb "$odown")" "$oup_all" "$(mb "$oup")" "$olist"
echo "throughput ratio ours / faster of curl and lftp: download $(echo "scale=2; $bdown / $odown" | bc -l)  upload $(echo "scale=2; $bup / $oup" | bc -l)"
echo "upload throughput ratio ours / curl -T: $(echo "scale=2; $cup / $oup" | bc -l)"
echo "download throughput ratio ours / ceiling (curl to /dev/null): $(echo "scale=2; $cnull / $odown" | bc -l)  (goal at least 0.90)"
echo "listing time ratio ours / faster of curl and lftp: $(echo "scale=2; $olist / $blist" | bc -l)"
