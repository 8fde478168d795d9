#!/usr/bin/env bash
# FTP-over-TLS transfer benchmark: starts the TLS test servers on loopback and measures curl
# (--ssl-reqd, explicit TLS) and the FTP library ("ftpes://", bench_ftp_transfer.exe under Wine)
# on the same vsftpd (vsftpd-noreuse of tests/integration/ftpd_tls.sh) in one run: 1 GiB
# download and upload, medians of AFC_BENCH_RUNS rounds (default 5). curl runs twice: as it comes
# (it negotiates TLS 1.3 with this server) and held to TLS 1.2, the version and cipher Wine's
# Secure Channel gets (ECDHE, AES-256-GCM). bench_tls_ceiling.exe (bench/tls_ceiling.cpp), a
# minimal Secure Channel client that decrypts in place and drops the plaintext, and encrypts
# from memory, moves the same file in every round: the platform's ceiling under this Wine.
# Prints the medians (with the least and most of the rounds in brackets), our throughput as a
# share of the ceiling and against curl, and the CPU time our process and the ceiling's used
# (the platform's cipher work is most of it under Wine).
# Usage: bash bench/ftp_tls_transfer.sh
# AFC_BENCH_OURS=<folder>: run that folder's bench_ftp_transfer.exe instead of this tree's (a
# build from before a change, measured against the same ceiling in the same rounds).
# AFC_BENCH_SMOKE=1 (the test command): a 4 MiB file, one run, the tree as built.
# AFC_BENCH_MIB: another file size in MiB.
set -euo pipefail
source "$(dirname "$0")/../scripts/lib/bench_start.sh"
runs=${AFC_BENCH_RUNS:-5}
mib=${AFC_BENCH_MIB:-1024}
if [ -n "$smoke" ]; then runs=1; mib=4; fi
run=$BUILD/bench-ftpd-tls
bash "$here/tests/integration/ftpd_tls.sh" start "$run" >/dev/null
root=$run/tree/pub
trap 'bash "$here/tests/integration/ftpd_tls.sh" stop "$run"; rm -f "$run"/curl-*.bin "$run/times" "$run/bench-local.bin" "$root"/bench*.bin "$root"/curl-*.bin; stop_started' EXIT
port=$(awk '$1=="vsftpd-noreuse"{print $2}' "$run/tls_servers.txt")
truncate -s "${mib}M" "$root/bench1g.bin"   # sparse: the server's disk is not what is measured
head -c 1M /dev/urandom | dd of="$root/bench1g.bin" conv=notrunc status=none
chown veluser "$root/bench1g.bin"

span() { sort -g | awk '{a[NR]=$1} END {printf "[%.3f-%.3f]", a[1], a[NR]}'; }
timeit() { local t0 t1; t0=$(date +%s.%N); "$@" >/dev/null 2>&1 || { echo "bench: failed: $*" >&2; exit 1; }; t1=$(date +%s.%N); echo "$t1 - $t0" | bc -l; }
url=ftp://127.0.0.1:$port
curlc() { curl -s --ssl-reqd --cacert "$run/certs/ca.crt" -u veluser:velpass "$@"; }
mustbe() { [ "$(stat -c %s "$1" 2>/dev/null || echo 0)" = $((mib * 1048576)) ] || { echo "bench: $1 is not $mib MiB: $2 failed" >&2; exit 1; }; }

# Round by round, each client in turn, so that every round compares them under the same load
# (the machine is shared; a load that changes between whole series would decide the ratio).
start_wine
t=$run/times
: >"$t"
for _ in $(seq "$runs"); do
  # curl's own start, handshake and login, taken off its times below: ours times the transfer
  # alone on a connection made before.
  echo "curl_fixed $(timeit curlc -o "$run/curl-zero.bin" "$url/zero.bin")" >>"$t"
  rm -f "$run/curl-down.bin"  # a new file every run, as ours writes
  echo "curl_down $(timeit curlc -o "$run/curl-down.bin" "$url/bench1g.bin")" >>"$t"
  echo "curl_up $(timeit curlc -T "$run/curl-down.bin" "$url/curl-up.bin")" >>"$t"
  rm -f "$run/curl-down.bin"  # a new file every run, as ours writes
  echo "curl12_down $(timeit curlc --tls-max 1.2 -o "$run/curl-down.bin" "$url/bench1g.bin")" >>"$t"
  echo "curl12_up $(timeit curlc --tls-max 1.2 -T "$run/curl-down.bin" "$url/curl-up.bin")" >>"$t"
  mustbe "$run/curl-down.bin" curl
  mustbe "$root/curl-up.bin" curl
  out=$(cd "${AFC_BENCH_OURS:-$WIN_BUILD/bench}" && AFC_FTPD_TLS_DIR="$run" AFC_BENCH_RUNS=1 wine ./bench_ftp_transfer.exe | tr -d "\r")
  grep -q download_s <<<"$out" || { echo "bench: the library's run failed: $out" >&2; exit 1; }
  awk '$1=="ours" {print "ours_" $2, $3}' <<<"$out" | sed 's/_s / /' >>"$t"
  out=$(cd "$WIN_BUILD/bench" && AFC_FTPD_TLS_DIR="$run" AFC_BENCH_RUNS=1 wine ./bench_tls_ceiling.exe | tr -d "\r")
  grep -q "ceiling bytes $((mib * 1048576))\$" <<<"$out" || { echo "bench: the ceiling's run failed: $out" >&2; exit 1; }
  awk '$1=="ceiling" {print "ceiling_" $2, $3}' <<<"$out" | sed 's/_s / /' >>"$t"
done
rm -f "$root/curl-up.bin" "$run/curl-down.bin"
m() { awk -v k="$1" '$1==k {print $2}' "$t" | median; }
sp() { awk -v k="$1" '$1==k {print $2}' "$t" | span; }
mb() { echo "scale=1; $mib / $1" | bc -l; }
ratio() { echo "scale=2; $1 / $2" | bc -l; }
fixed=$(m curl_fixed)
less() { echo "$1 - $fixed" | bc -l; }
cdown=$(less "$(m curl_down)"); cup=$(less "$(m curl_up)"); c12down=$(less "$(m curl12_down)"); c12up=$(less "$(m curl12_up)")
odown=$(m ours_download); oup=$(m ours_upload)
xdown=$(m ceiling_download); xup=$(m ceiling_upload)
echo "medians of $runs rounds (seconds), $mib MiB over explicit TLS; curl's times less its fixed cost ($fixed s: start, handshake, login)"
printf '  %-14s download %s (%s MiB/s)  upload %s (%s MiB/s)\n' curl "$cdown" "$(mb "$cdown")" "$cup" "$(mb "$cup")"
printf '  %-14s download %s (%s MiB/s)  upload %s (%s MiB/s)\n' "curl TLS 1.2" "$c12down" "$(mb "$c12down")" "$c12up" "$(mb "$c12up")"
printf '  %-14s download %s %s (%s MiB/s)  upload %s %s (%s MiB/s)\n' "platform ceiling" "$xdown" "$(sp ceiling_download)" \
  "$(mb "$xdown")" "$xup" "$(sp ceiling_upload)" "$(mb "$xup")"
printf '  %-14s download %s %s (%s MiB/s)  upload %s %s (%s MiB/s)\n' ours "$odown" "$(sp ours_download)" "$(mb "$odown")" \
  "$oup" "$(sp ours_upload)" "$(mb "$oup")"
echo "  CPU seconds of the process: ours download $(m ours_download_cpu)  upload $(m ours_upload_cpu);" \
  "the ceiling download $(m ceiling_download_cpu)  upload $(m ceiling_upload_cpu)"
echo "throughput ratio ours / platform ceiling: download $(ratio "$xdown" "$odown")  upload $(ratio "$xup" "$oup")  (goal at least 0.90)"
echo "throughput ratio ours / curl: download $(ratio "$cdown" "$odown")  upload $(ratio "$cup" "$oup")"
echo "throughput ratio ours / curl held to TLS 1.2: download $(ratio "$c12down" "$odown")  upload $(ratio "$c12up" "$oup")"
