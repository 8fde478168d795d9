#!/usr/bin/env bash
# The servers of the client's real-use tests (a ctest fixture), on loopback ports of their own:
#   vsftpd, rate-limited to 1 MiB/s so that transfers and long listings last seconds, and
#   ProFTPD on the same tree, which refuses to list a folder it may not read (vsftpd answers
#   such a listing with an empty one).
# The tree: "pub" beside "pub.txt" and "pub-old", "docs" beside "docs.zip", a 60 MiB file,
# sparse files of 3 and 5 GiB, names with "|", "&", "{", "}", "~", ":", "\", a leading blank,
# 250 characters and non-ASCII letters, a folder of 20,000 entries ("big", also the home of the
# local user veluser, so that the listing after a connect lasts), a folder no one may read
# ("locked"), and "write-over" (files to replace, a folder "sub", "Report.txt" beside
# "report.txt"). Twisted's FTP server (echoes the path in "LIST path", no MLST) and pyftpdlib
# (MLST) serve trees of their own that hold only "pub" and "write-over". A second pyftpdlib
# ("stall", one process, data at 512 KiB/s, its pid in DIR/stall.pid) serves "slow.bin" to the
# cases that stop it with SIGSTOP: a server that stops answering, before its greeting or in the
# middle of a transfer.
#   real_use_ftpd.sh start DIR  -> DIR/servers.txt: "name port tree-root" per line, DIR/pids
#   real_use_ftpd.sh stop DIR   -> stops exactly the recorded pids
set -euo pipefail
cmd=$1
dir=$(mkdir -p "$2" && cd "$2" && pwd)
FTPD_DIR=${FTPD_DIR:-/opt/afc-ftpd}
rate=1048576

source "$(dirname "$0")/../support/ftpd_common.sh"
source "$(dirname "$0")/../../scripts/lib/ftpd_conf.sh"

if [ "$cmd" = stop ]; then stop_all; exit 0; fi

make_overwrite() {  # root
  local root=$1
  rm -rf "$root/write-over"
  mkdir -p "$root/write-over/sub"
  printf 'server copy\n' >"$root/write-over/upload.txt"
  printf 'alpha\n' >"$root/write-over/a.txt"
  printf 'beta\n' >"$root/write-over/b.txt"
  printf 'upper\n' >"$root/write-over/Report.txt"
  printf 'lower\n' >"$root/write-over/report.txt"
  chown -R ftp "$root/write-over"
}

make_tree() {  # root
  local root=$1
  rm -rf "$root"
  mkdir -p "$root/pub/inner" "$root/pub-old" "$root/docs" "$root/names" "$root/big" "$root/locked" "$root/upload"
  printf 'alpha\n' >"$root/pub/a.txt"
  printf 'beta\n' >"$root/pub/b.txt"
  printf 'deep\n' >"$root/pub/inner/deep.txt"
  printf 'not the folder\n' >"$root/pub.txt"
  printf 'old\n' >"$root/pub-old/old.txt"
  printf 'manual\n' >"$root/docs/manual.txt"
  printf 'PK zip\n' >"$root/docs.zip"
  head -c $((60 << 20)) /dev/urandom >"$root/big60.bin"
  head -c $((3 << 20)) /dev/urandom >"$root/three.bin"
  truncate -s 3G "$root/huge3g.iso"
  truncate -s 5G "$root/huge5g.iso"
  (cd "$root/names" &&
    for n in 'a|b.txt' 'x & y.txt' '{curly}.txt' '~tilde.txt' 'time 10:30.txt' "$(printf 'caf\xc3\xa9.txt')" \
             "$(printf '\xe8\xa1\xa8.txt')" "$(printf 'n%.0s' $(seq 1 246)).txt" 'x\..\evil.txt' ' lead.txt'; do
      printf '%s\n' "$n" >"$n"
    done)
  (cd "$root/big" && seq -f 'entry-with-a-rather-long-name-%06g.dat' 1 20000 | xargs touch)
  printf 'secret\n' >"$root/locked/secret.txt"
  make_overwrite "$root"
  chown -R ftp "$root/pub" "$root/names" "$root/big" "$root/upload"
  chown veluser "$root/big"
  chmod 755 "$root"
  chmod 000 "$root/locked"
}

stop_all
mkdir -p "$dir/empty"
chmod 755 "$dir/empty"
: >"$dir/pids"
: >"$dir/servers.txt.new"
root=$dir/root
make_tree "$root"

# --- vsftpd, rate-limited
port=$(free_port)
{
  vsftpd_server_lines "$port" "$dir/empty"
  vsftpd_anonymous_lines "$root"
  vsftpd_local_lines "$root/big"
  vsftpd_log_lines "$dir/vsftpd-protocol.log" 200
  printf '%s\n' "anon_max_rate=$rate" "local_max_rate=$rate" utf8_filesystem=YES
} >"$dir/vsftpd.conf"
vsftpd "$dir/vsftpd.conf" >"$dir/vsftpd.log" 2>&1 </dev/null &
pid=$!
echo $pid >>"$dir/pids"
wait_port "$port" "$pid" vsftpd
echo "vsftpd $port $root" >>"$dir/servers.txt.new"

# --- ProFTPD on the same tree (anonymous only)
port=$(free_port)
{
  proftpd_server_lines "afc real use" "$port" "$dir/proftpd" 50
  printf '%s\n' "DefaultServer on" "RequireValidShell off"
  proftpd_anonymous_lines "$root"
} >"$dir/proftpd.conf"
"$FTPD_DIR/usr/sbin/proftpd" -n -q -c "$dir/proftpd.conf" >"$dir/proftpd.log" 2>&1 </dev/null &
pid=$!
echo $pid >>"$dir/pids"
wait_port "$port" "$pid" proftpd
echo "proftpd $port $root" >>"$dir/servers.txt.new"

# --- Twisted and pyftpdlib, each on a small tree of its own
for which in twisted pyftpdlib; do
  root=$dir/$which-root
  rm -rf "$root"
  mkdir -p "$root/pub"
  printf 'alpha\n' >"$root/pub/a.txt"
  make_overwrite "$root"
  chmod 755 "$root"
  port=$(free_port)
  script=twisted_ftpd.py
  [ "$which" = pyftpdlib ] && script=pyftpd.py
  /usr/bin/python3 "$(dirname "$0")/../support/$script" "$port" "$root" "$dir/$which.log" \
    >"$dir/$which.out" 2>&1 </dev/null &
  pid=$!
  echo $pid >>"$dir/pids"
  wait_port "$port" "$pid" "$which"
  echo "$which $port $root" >>"$dir/servers.txt.new"
done

# --- pyftpdlib for the stall cases
root=$dir/stall-root
rm -rf "$root"
mkdir -p "$root/pub"
printf 'alpha\n' >"$root/pub/a.txt"
head -c $((8 << 20)) /dev/urandom >"$root/slow.bin"
chmod -R 755 "$root"
port=$(free_port)
PYFTPD_RATE=524288 /usr/bin/python3 "$(dirname "$0")/../support/pyftpd.py" "$port" "$root" "$dir/stall.log" \
  >"$dir/stall.out" 2>&1 </dev/null &
pid=$!
echo $pid >>"$dir/pids"
echo $pid >"$dir/stall.pid"
wait_port "$port" "$pid" stall
echo "stall $port $root" >>"$dir/servers.txt.new"

mv "$dir/servers.txt.new" "$dir/servers.txt"
