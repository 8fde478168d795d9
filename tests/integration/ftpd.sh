#!/usr/bin/env bash
# Starts and stops the real FTP servers of the integration tests on loopback ports, each with
# its own configuration and scratch tree under DIR (a ctest fixture): vsftpd, ProFTPD,
# Pure-FTPd, pyftpdlib and the inetutils ftpd, and Twisted's FTP server.
#   ftpd.sh start DIR   -> DIR/servers.txt: "name port tree-root" per line, DIR/pids,
#                          DIR/nat.txt: "port tree-root" of a pyftpdlib that names another
#                          address (127.77.77.77, where nothing listens) in its PASV replies,
#                          DIR/twisted.txt: "port tree-root" of Twisted's FTP server (echoes the
#                          path in "LIST path", no MLST; kept out of servers.txt, which the
#                          tests run every common check on),
#                          DIR/vsftpd-protocol.log (every command vsftpd received),
#                          DIR/proftpd-logins.log (ProFTPD's USER and PASS lines),
#                          DIR/vsftpd-strict.txt: "port tree-root" of a vsftpd that takes one
#                          connection per address and ends idle sessions after 2 s,
#                          DIR/proxy.txt: the port of an FTP proxy (ProFTPD's mod_proxy, user@host
#                          logins, log in DIR/proxy.log) when the module is installed
#                          DIR/small-disk: an 8 MiB tmpfs (when run as root; unmounted at stop)
#   ftpd.sh stop DIR    -> stops exactly the recorded pids
# Users: anonymous, and "veluser" with password "velpass" (vsftpd: the local account made by
# scripts/setup; ProFTPD: AuthUserFile; Pure-FTPd: a virtual-user database). The anonymous root is owned by root; its "pub" folder is
# writable by the ftp user, where the tests upload, create and delete.
set -euo pipefail
cmd=$1
dir=$(mkdir -p "$2" && cd "$2" && pwd)
FTPD_DIR=${FTPD_DIR:-/opt/afc-ftpd}

source "$(dirname "$0")/../support/ftpd_common.sh"
source "$(dirname "$0")/../../scripts/lib/ftpd_conf.sh"

if [ "$cmd" = stop ]; then
  stop_all
  if mountpoint -q "$dir/small-disk"; then umount "$dir/small-disk"; fi
  exit 0
fi

make_tree() {  # root
  local root=$1
  rm -rf "$root"
  mkdir -p "$root/pub/empty" "$root/pub/nested/a/b" "$root/pub/big10k" "$root/pub/with space dir"
  echo "top level" >"$root/readme.txt"
  printf 'deep\n' >"$root/pub/nested/a/b/deep.txt"
  printf 'spaced\n' >"$root/pub/with space.txt"
  printf 'utf8\n' >"$root/pub/$(printf 'caf\xc3\xa9.txt')"
  : >"$root/pub/zero.bin"
  printf 'x' >"$root/pub/one.bin"
  head -c 1048576 /dev/urandom >"$root/pub/mib.bin"
  printf 'line one\nline two\n\nlast line\n' >"$root/pub/text.txt"
  : >"$root/pub/zero.txt"
  printf 'x' >"$root/pub/one.txt"
  head -c 1048576 < <(yes 'the quick brown fox jumps over the lazy dog 0123456789') >"$root/pub/mib.txt"
  # Names in several scripts beside their ASCII look-alikes and escape look-alikes; each file
  # holds its own name, so a download shows which file came. (Under "world", after everything
  # the client's end-to-end tests click, so their rows stay where they were.)
  mkdir -p "$root/world/names"
  local n
  for n in 'Łódź.txt' 'Lodz.txt' 'Lódz.txt' 'АБ.txt' 'ВГ.txt' '??.txt' 'αβγ.txt' 'abg.txt' \
           '日本語.txt' 'ニホンゴ.txt' '😀.txt' '{U+1F600}.txt' 'trailing.' 'a:b.txt' \
           'x\y.txt' 'x{U+005C}y.txt' ' lead.txt' 'end '; do
    printf '%s' "$n" >"$root/world/names/$n"
  done
  mkdir -p "$root/world/names/Ördner"
  printf 'inner' >"$root/world/names/Ördner/inner.txt"
  ln -s nested "$root/pub/link-to-dir"
  # Links whose targets are not siblings: their kind is learnt by trying them as folders.
  ln -s ../pub/nested/a "$root/world/link-deep-dir"
  ln -s ../pub/nested/a/b/deep.txt "$root/world/link-deep-file"
  ln -s text.txt "$root/pub/link-to-file"
  # A tree three levels deep for the batch walks, with links back to a folder above them: "up"
  # to its folder's parent, "here" to its own folder (last in "world" for the same reason).
  mkdir -p "$root/world/tree/a/b/c"
  printf 'top' >"$root/world/tree/top.txt"
  printf 'a1' >"$root/world/tree/a/a1.txt"
  printf 'b1' >"$root/world/tree/a/b/b1.txt"
  printf 'c1' >"$root/world/tree/a/b/c/c1.txt"
  ln -s .. "$root/world/tree/a/up"
  ln -s . "$root/world/tree/a/b/here"
  (cd "$root/pub/big10k" && seq -f 'f%05g.dat' 0 9999 | xargs touch)
  chown -R ftp "$root/pub" "$root/world"
  chmod 755 "$root" "$root/pub" "$root/world"
}

stop_all
mkdir -p "$dir/empty"
chmod 755 "$dir/empty"
: >"$dir/pids"
: >"$dir/servers.txt.new"
hash=$(openssl passwd -6 velpass)
ftp_uid=$(id -u ftp)
ftp_gid=$(id -g ftp)

# --- vsftpd
root=$dir/vsftpd-root
make_tree "$root"
port=$(free_port)
{
  vsftpd_server_lines "$port" "$dir/empty"
  vsftpd_anonymous_lines "$root"
  vsftpd_local_lines "$root/pub"
  vsftpd_log_lines "$dir/vsftpd-protocol.log" 200
  printf '%s\n' local_umask=022 ascii_upload_enable=YES ascii_download_enable=YES utf8_filesystem=YES
} >"$dir/vsftpd.conf"
vsftpd "$dir/vsftpd.conf" >"$dir/vsftpd.log" 2>&1 </dev/null &
pid=$!
echo $pid >>"$dir/pids"
wait_port "$port" "$pid" vsftpd
echo "vsftpd $port $root" >>"$dir/servers.txt.new"

# --- vsftpd-strict (kept apart from servers.txt, in vsftpd-strict.txt): the same tree, one
# connection per address (a second is answered "421 There are too many connections ...") and
# sessions ended after 2 s without a command; its commands in vsftpd-strict-protocol.log.
port=$(free_port)
{
  vsftpd_server_lines "$port" "$dir/empty"
  vsftpd_anonymous_lines "$root"
  vsftpd_local_lines "$root/pub"
  vsftpd_log_lines "$dir/vsftpd-strict-protocol.log" 1
  printf '%s\n' local_umask=022 idle_session_timeout=2
} >"$dir/vsftpd-strict.conf"
vsftpd "$dir/vsftpd-strict.conf" >"$dir/vsftpd-strict.log" 2>&1 </dev/null &
pid=$!
echo $pid >>"$dir/pids"
wait_port "$port" "$pid" vsftpd-strict
echo "$port $root" >"$dir/vsftpd-strict.txt"

# --- ProFTPD
root=$dir/proftpd-root
make_tree "$root"
port=$(free_port)
echo "veluser:$hash:$ftp_uid:$ftp_gid::$root/pub:/bin/sh" >"$dir/proftpd.passwd"
chmod 600 "$dir/proftpd.passwd"
{
  proftpd_server_lines "afc test" "$port" "$dir/proftpd" 200
  printf '%s\n' "DefaultServer on" "Umask 022" "RequireValidShell off" "ExtendedLog $dir/proftpd-logins.log AUTH"
  proftpd_users_lines "$dir/proftpd.passwd" "mod_auth_file.c mod_auth_unix.c"
  proftpd_anonymous_lines "$root" writable
} >"$dir/proftpd.conf"
"$FTPD_DIR/usr/sbin/proftpd" -n -q -c "$dir/proftpd.conf" >"$dir/proftpd.log" 2>&1 </dev/null &
pid=$!
echo $pid >>"$dir/pids"
wait_port "$port" "$pid" proftpd
echo "proftpd $port $root" >>"$dir/servers.txt.new"

# --- Pure-FTPd: anonymous users land in the ftp account's home, so it runs in a private
# mount namespace where that home is our tree.
root=$dir/pureftpd-root
make_tree "$root"
port=$(free_port)
ftp_home=$(getent passwd ftp | cut -d: -f6)
rm -f "$dir/pureftpd.passwd" "$dir/pureftpd.pdb"
printf 'velpass\nvelpass\n' | "$FTPD_DIR/usr/bin/pure-pw" useradd veluser -u ftp -g "$ftp_gid" -d "$root/pub" \
  -f "$dir/pureftpd.passwd" -m -F "$dir/pureftpd.pdb" >/dev/null
mkdir -p "$ftp_home"
unshare -m sh -c "mount --make-rprivate / && mount --bind '$root' '$ftp_home' && exec '$FTPD_DIR/usr/sbin/pure-ftpd' \
  -S 127.0.0.1,$port -l puredb:'$dir/pureftpd.pdb' -l unix -M -c 200 -C 200 -A -H -L 20000:8" \
  >"$dir/pureftpd.log" 2>&1 </dev/null &
pid=$!
echo $pid >>"$dir/pids"
wait_port "$port" "$pid" pureftpd
echo "pureftpd $port $root" >>"$dir/servers.txt.new"

# --- the FTP proxy: ProFTPD as a forward proxy taking "USER user@host[:port]"; its data
# connections are relayed too. The module needs libssl, which the packaged daemon does not link.
rm -f "$dir/proxy.txt"
if [ -f "$FTPD_DIR/usr/lib/proftpd/mod_proxy.so" ]; then
  port=$(free_port)
  mkdir -p "$dir/proxy-tables"
  chown ftp "$dir/proxy-tables"
  {
    proftpd_server_lines "afc proxy" "$port" "$dir/proxy" 50
    proftpd_module_lines "$FTPD_DIR" mod_proxy.c
    cat <<CONF
ProxyEngine on
ProxyLog $dir/proxy.log
ProxyTables $dir/proxy-tables
ProxyRole forward
ProxyForwardMethod user@host
<Class loopback>
  From 127.0.0.1
  ProxyForwardEnabled on
</Class>
CONF
  } >"$dir/proxy.conf"
  LD_PRELOAD=$(ldconfig -p | awk '/libssl.so.3 .*x86-64/{print $NF; exit}') \
    "$FTPD_DIR/usr/sbin/proftpd" -n -q -c "$dir/proxy.conf" >"$dir/proxy.out" 2>&1 </dev/null &
  pid=$!
  echo $pid >>"$dir/pids"
  wait_port "$port" "$pid" proxy
  echo "$port" >"$dir/proxy.txt"
fi

# --- pyftpdlib (MLSD, UTF-8; its anonymous user is "anonymous", case-sensitive), and a second
# instance behind a pretend NAT: its PASV replies name an address where nothing listens.
for which in pyftpdlib nat; do
  root=$dir/$which-root
  make_tree "$root"
  port=$(free_port)
  extra=()
  [ "$which" = nat ] && extra=(127.77.77.77)
  /usr/bin/python3 "$(dirname "$0")/../support/pyftpd.py" "$port" "$root" "$dir/$which.log" "${extra[@]}" >"$dir/$which.out" 2>&1 </dev/null &
  pid=$!
  echo $pid >>"$dir/pids"
  wait_port "$port" "$pid" "$which"
  if [ "$which" = nat ]; then echo "$port $root" >"$dir/nat.txt"; else echo "pyftpdlib $port $root" >>"$dir/servers.txt.new"; fi
done

# --- the inetutils ftpd: a daemon that detaches (its pid from its pid file) and takes its port
# from /etc/services, so it runs in a private mount namespace where /etc/services names our port
# and the ftp account's home (the anonymous root) is our tree.
root=$dir/inetutils-root
make_tree "$root"
port=$(free_port)
sed -E "s/^ftp([[:space:]]+)21\/tcp/ftp\1$port\/tcp/" /etc/services >"$dir/inetutils.services"
grep -q "^ftp[[:space:]]*$port/tcp" "$dir/inetutils.services" || echo "ftp $port/tcp" >>"$dir/inetutils.services"
rm -f "$dir/inetutils.pid"
unshare -m sh -c "mount --make-rprivate / && mount --bind '$dir/inetutils.services' /etc/services && \
  mount --bind '$root' '$ftp_home' && exec '$FTPD_DIR/usr/sbin/ftpd' -D -4 -p'$dir/inetutils.pid' -u 022" \
  >"$dir/inetutils.log" 2>&1 </dev/null
for _ in $(seq 1 50); do [ -s "$dir/inetutils.pid" ] && break; sleep 0.1; done
pid=$(cat "$dir/inetutils.pid" 2>/dev/null || true)
[ -n "$pid" ] || { echo "ftpd.sh: inetutils ftpd wrote no pid file" >&2; cat "$dir/inetutils.log" >&2; exit 1; }
echo "$pid" >>"$dir/pids"
wait_port "$port" "$pid" inetutils
echo "inetutils $port $root" >>"$dir/servers.txt.new"

# --- Twisted (tests/support/twisted_ftpd.py: bound to loopback, every login writable)
root=$dir/twisted-root
make_tree "$root"
port=$(free_port)
/usr/bin/python3 "$(dirname "$0")/../support/twisted_ftpd.py" "$port" "$root" "$dir/twisted.log" \
  >"$dir/twisted.out" 2>&1 </dev/null &
pid=$!
echo $pid >>"$dir/pids"
wait_port "$port" "$pid" twisted
echo "$port $root" >"$dir/twisted.txt"

# An 8 MiB file system (tmpfs, mounted as root) for downloads that fill their disk mid-way.
mkdir -p "$dir/small-disk"
if [ "$(id -u)" = 0 ] && ! mountpoint -q "$dir/small-disk"; then
  mount -t tmpfs -o size=8m,mode=0777 afc-small-disk "$dir/small-disk"
fi

mv "$dir/servers.txt.new" "$dir/servers.txt"
