#!/usr/bin/env bash
# Far-server benchmark: the real client against lftp on the same vsftpd, both through
# bench/far_relay.py, which holds every chunk back 50 ms each way (a server 100 ms away), in
# passive mode. Actions, each RUNS times (AFC_BENCH_RUNS, default 5), medians compared:
#   connect  log in and list the root          lftp: open; ls /
#   get      a 10 KiB file                     lftp: get (a new local file each run)
#   put      a new 10 KiB file into pub, and   lftp: put; ls /pub/
#            the listing the client refreshes
#   open     a folder not listed before        lftp: ls /pub/farN/
# lftp keeps one session for get, put and open, as the client does; it runs with its TLS
# attempt off (the server offers none) and its listings are plain "ls" without its cache ("cls -l"
# would ask MDTM of every entry), so every action is as short as lftp can make it.
# Usage: bash scripts/bench far_server   (or bash bench/far_server.sh)
# AFC_BENCH_SMOKE=1 (the test command): one run, the tree as built.
set -euo pipefail
source "$(dirname "$0")/../scripts/lib/bench_start.sh"
runs=${AFC_BENCH_RUNS:-5}
[ -z "$smoke" ] || runs=1
delay_ms=50
run=$BUILD/bench-far-ftpd
local_dir=$BUILD/bench-far-local
relay_pid=
cleanup() {
  [ -z "$relay_pid" ] || kill "$relay_pid" 2>/dev/null || true
  bash "$here/tests/integration/ftpd.sh" stop "$run"
  rm -rf "$local_dir"
  stop_started
}
trap cleanup EXIT
bash "$here/tests/integration/ftpd.sh" start "$run"
rm -rf "$local_dir" && mkdir -p "$local_dir/lftp"
root=$(awk '$1=="vsftpd"{print $3}' "$run/servers.txt")
port=$(awk '$1=="vsftpd"{print $2}' "$run/servers.txt")

head -c 10240 /dev/urandom >"$root/pub/far10k.bin"
for i in $(seq "$runs"); do
  mkdir -p "$root/pub/far$i"
  for f in a b c d e; do echo "$f" >"$root/pub/far$i/$f.txt"; done
  head -c 10240 /dev/urandom >"$local_dir/farput$i.bin"
  cp "$local_dir/farput$i.bin" "$local_dir/lftp/lftpput$i.bin"
done
chown -R ftp "$root/pub"

python3 "$here/bench/far_relay.py" "$port" "$delay_ms" >"$run/relay.out" 2>&1 &
relay_pid=$!
for _ in $(seq 50); do grep -q ready "$run/relay.out" 2>/dev/null && break; sleep 0.1; done
far=127.0.0.2:$port

settings="set ftp:passive-mode on
set ftp:ssl-allow no
set xfer:clobber on
set cmd:interactive no
set cache:enable no"
# Runs an lftp script whose "!date" lines mark the actions; prints the differences of
# consecutive marks, one per line.
lftp_marks() {
  lftp -f /dev/stdin <<<"$settings
$1" | grep -E '^[0-9]+\.[0-9]+$' | awk 'NR > 1 {printf "%.3f\n", $1 - prev} {prev = $1}'
}
mark='!date +%s.%N'

lconnect=$(for _ in $(seq "$runs"); do
  lftp_marks "$mark
open -u anonymous,bench ftp://$far
ls / >/dev/null
$mark
bye"
done | median)

script="open -u anonymous,bench ftp://$far
ls /pub/ >/dev/null
$mark"
for i in $(seq "$runs"); do
  script+="
get /pub/far10k.bin -o $local_dir/lftp/get$i.bin
$mark
put $local_dir/lftp/lftpput$i.bin -o /pub/lftpput$i.bin
ls /pub/ >/dev/null
$mark
ls /pub/far$i/ >/dev/null
$mark"
done
marks=$(lftp_marks "$script"$'\nbye')
lget=$(awk 'NR % 3 == 1' <<<"$marks" | median)
lput=$(awk 'NR % 3 == 2' <<<"$marks" | median)
lopen=$(awk 'NR % 3 == 0' <<<"$marks" | median)
cmp "$local_dir/lftp/get1.bin" "$root/pub/far10k.bin"

logins() { grep -c '", "USER ' "$run/vsftpd-protocol.log" || true; }
before=$(logins)
start_xvfb
start_wine
if ! out=$(cd "$WIN_BUILD/bench" && wine ./bench_far_server.exe "$(winepath -w "$WIN_BUILD/app/ftpclient.exe")" \
  "$far" "$(winepath -w "$local_dir")" "$runs" | tr -d "\r"; exit "${PIPESTATUS[0]}"); then
  echo "$out"
  echo "far_server.sh: the client's run failed" >&2
  exit 1
fi
echo "$out"
cmp "$local_dir/far10k.bin" "$root/pub/far10k.bin"
ratio() { echo "scale=2; $1 / $2" | bc -l; }
for action in connect get put open; do
  ours=$(awk -v k="${action}_s" '$2==k {print $3}' <<<"$out")
  var=l$action
  theirs=${!var}
  echo "$action: client ${ours} s, lftp ${theirs} s (medians of $runs), time ratio client/lftp $(ratio "$ours" "$theirs") (goal <= 1.0)"
done
echo "logins of the client: $(($(logins) - before)) for $runs connects and every action after them"
