#!/usr/bin/env bash
# Starts and stops the FTP-over-TLS servers of the integration tests on loopback ports (a ctest
# fixture), with a test certificate authority and server certificates made here by openssl.
#   ftpd_tls.sh start DIR -> DIR/tls_servers.txt: "name port" per line
#                              vsftpd-explicit   AUTH TLS, good certificate, require_ssl_reuse at
#                                                its default (YES)
#                              vsftpd-implicit   TLS from the first byte (990-style)
#                              vsftpd-noreuse    explicit, require_ssl_reuse=NO (and, like
#                                                vsftpd-explicit, strict_ssl_read_eof=YES: an
#                                                upload must end with a close_notify)
#                              vsftpd-expired / vsftpd-wronghost / vsftpd-selfsigned
#                              vsftpd-selfwrong / vsftpd-unknownca / vsftpd-expiredunknown
#                              vsftpd-intermediate / vsftpd-loop
#                                                explicit, with the bad certificate of that name
#                                                (see make_certs; no session reuse demanded: a
#                                                user who trusts the certificate can list and
#                                                transfer)
#                              proftpd-explicit / proftpd-implicit
#                                                mod_tls, session reuse required (its default)
#                              proftpd-noreuse   implicit, NoSessionReuseRequired
#                              vsftpd-plain      no TLS at all (AUTH TLS is refused); its log
#                                                lists every command it received
#                              proxy-tls         ProFTPD mod_proxy as an FTP proxy ("USER
#                                                user@host[:port]") that clients reach over
#                                                explicit TLS (mod_tls, the good certificate,
#                                                no session reuse demanded); the servers behind
#                                                it are reached in plain FTP (when mod_proxy is
#                                                installed)
#                              fake-<scenario>   the scripted fault server (tls_fake_ftpd.c)
#                            DIR/certs/ca.der: the authority the test trusts in its Wine prefix
#                            DIR/certs/<name>.crt: the server certificates (PEM)
#                            DIR/tree: the served tree (veluser's home, "pub" inside)
#                            DIR/*.log: each server's log (vsftpd with its OpenSSL diagnostics)
#   ftpd_tls.sh stop DIR  -> stops exactly the recorded pids
# Login: "veluser" / "velpass" (vsftpd: the local account of scripts/setup; ProFTPD: its own
# AuthUserFile). Anonymous logins are refused over TLS by neither server but not used.
set -euo pipefail
cmd=$1
dir=$(mkdir -p "$2" && cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
FTPD_DIR=${FTPD_DIR:-/opt/afc-ftpd}

source "$(dirname "$0")/../support/ftpd_common.sh"
source "$(dirname "$0")/../../scripts/lib/ftpd_conf.sh"

if [ "$cmd" = stop ]; then stop_all; exit 0; fi

# --- certificates: one authority (trusted by the tests); server certificates for localhost and
# 127.0.0.1 (good, expired), for another name (wronghost), and self-signed ones (selfsigned;
# selfwrong, for another name too). Authorities in no trust store: "AFC Unknown Authority"
# signs unknownca and expiredunknown (each served alone); "AFC Unknown Root" signs an
# intermediate that signs intermediate (served with the intermediate, without the root); two
# authorities signed by each other sign loop (served with both: a chain that loops).
sign() {  # name common-name subject-alt-names authority start end [extensions]
  local c=$dir/certs
  openssl req -newkey rsa:2048 -nodes -keyout "$c/$1.key" -out "$c/$1.csr" -subj "/O=AFC Tests/CN=$2" \
    ${3:+-addext "subjectAltName=$3"} 2>/dev/null
  openssl ca -batch -preserveDN -config "$c/ca.cnf" -extensions "${7:-server}" -cert "$c/$4.crt" \
    -keyfile "$c/$4.key" -startdate "$5" -enddate "$6" -in "$c/$1.csr" -out "$c/$1.crt" -notext 2>/dev/null
}

self_signed() {  # name common-name subject-alt-names
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$dir/certs/$1.key" -out "$dir/certs/$1.crt" -days 730 \
    -sha256 -subj "/O=AFC Tests/CN=$2" -addext "subjectAltName=$3" 2>/dev/null
}

authority() {  # name common-name
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$dir/certs/$1.key" -out "$dir/certs/$1.crt" -days 3650 \
    -sha256 -subj "/O=AFC Tests/CN=$2" \
    -addext "basicConstraints=critical,CA:true" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
}

make_certs() {
  local c=$dir/certs
  rm -rf "$c"
  mkdir -p "$c/db"
  : >"$c/db/index.txt"
  echo 1000 >"$c/db/serial"
  cat >"$c/ca.cnf" <<CNF
[ca]
default_ca = testca
[testca]
database = $c/db/index.txt
serial = $c/db/serial
new_certs_dir = $c/db
default_md = sha256
policy = any
unique_subject = no
copy_extensions = copy
[any]
commonName = supplied
organizationName = optional
[server]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
[authority]
basicConstraints = critical, CA:true
keyUsage = critical, keyCertSign, cRLSign
CNF
  authority ca "AFC Test Authority"
  openssl x509 -in "$c/ca.crt" -outform DER -out "$c/ca.der"
  local here="DNS:localhost,IP:127.0.0.1" now later past=20200101000000Z pastEnd=20210101000000Z
  now=$(date -u -d '-1 day' +%Y%m%d%H%M%SZ)
  later=$(date -u -d '+2 years' +%Y%m%d%H%M%SZ)
  sign good localhost "$here" ca "$now" "$later"
  sign expired localhost "$here" ca "$past" "$pastEnd"
  sign wronghost wrong.example DNS:wrong.example ca "$now" "$later"
  self_signed selfsigned localhost "$here"
  self_signed selfwrong wrong.example DNS:wrong.example
  # Named by its common name alone, a character outside ASCII: U+20AC (the Western code page's 0x80).
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$c/euro.key" -out "$c/euro.crt" -days 730 -sha256 -utf8 \
    -subj "/O=AFC Tests/CN=$(printf '\342\202\254').example" 2>/dev/null

  authority unknown-ca "AFC Unknown Authority"
  sign unknownca localhost "$here" unknown-ca "$now" "$later"
  sign expiredunknown localhost "$here" unknown-ca "$past" "$pastEnd"
  authority unknown-root "AFC Unknown Root"
  sign unknown-intermediate "AFC Unknown Intermediate" "" unknown-root "$now" "$later" authority
  sign intermediate localhost "$here" unknown-intermediate "$now" "$later"
  cat "$c/unknown-intermediate.crt" >>"$c/intermediate.crt"
  # The loop: B0 (self-signed "Loop B") signs A; A signs B (same name and key as B0); the
  # server sends A and B, each the other's issuer.
  authority loop-b0 "Loop B"
  sign loop-a "Loop A" "" loop-b0 "$now" "$later" authority
  openssl req -new -key "$c/loop-b0.key" -subj "/O=AFC Tests/CN=Loop B" -out "$c/loop-b.csr" 2>/dev/null
  openssl ca -batch -preserveDN -config "$c/ca.cnf" -extensions authority -cert "$c/loop-a.crt" \
    -keyfile "$c/loop-a.key" -startdate "$now" -enddate "$later" -in "$c/loop-b.csr" -out "$c/loop-b.crt" \
    -notext 2>/dev/null
  sign loop localhost "$here" loop-a "$now" "$later"
  cat "$c/loop-a.crt" "$c/loop-b.crt" >>"$c/loop.crt"
  openssl x509 -in "$c/selfsigned.crt" -noout -fingerprint -sha256 | sed 's/.*=//' >"$c/selfsigned.sha256"
  # A chain of 100 certificates: a leaf and 99 authorities, each signed by the next (one key
  # for all keeps this quick; the top one is trusted by nobody). RSA: Wine 8's chain engine now
  # and then calls a valid P-256 signature bad (TRUST_E_CERT_SIGNATURE), which over 99
  # signatures made the verdict a coin toss.
  openssl genrsa -out "$c/chain.key" 2048 2>/dev/null
  openssl req -x509 -key "$c/chain.key" -out "$c/chain-99.crt" -days 730 -subj "/CN=Chain 99" \
    -addext "basicConstraints=critical,CA:true" 2>/dev/null
  local i
  printf '[ext]\nbasicConstraints=critical,CA:true\n[leaf]\nsubjectAltName=DNS:localhost,IP:127.0.0.1\n' >"$c/chain.ext"
  for i in $(seq 98 -1 0); do
    openssl req -new -key "$c/chain.key" -subj "/CN=Chain $i" 2>/dev/null |
      openssl x509 -req -CA "$c/chain-$((i + 1)).crt" -CAkey "$c/chain.key" -set_serial "$((5000 + i))" -days 730 \
        -extfile "$c/chain.ext" -extensions "$([ "$i" = 0 ] && echo leaf || echo ext)" -out "$c/chain-$i.crt" 2>/dev/null
  done
  for i in $(seq 0 99); do cat "$c/chain-$i.crt"; done >"$c/chain100.pem"
  rm -f "$c"/chain-*.crt
}

make_tree() {
  local root=$dir/tree
  rm -rf "$root"
  mkdir -p "$root/pub/sub"
  printf 'secret line one\r\nsecret line two\r\n' >"$root/pub/hello.txt"
  head -c 3000000 /dev/urandom >"$root/pub/random.bin"
  : >"$root/pub/zero.bin"
  chown -R veluser "$root/pub"
  chmod 755 "$root" "$root/pub"
}

vsftpd_conf() {  # name port cert extra
  {
    vsftpd_server_lines "$2" "$dir/empty"
    vsftpd_local_lines "$dir/tree/pub"
    printf '%s\n' anonymous_enable=NO chroot_local_user=YES allow_writeable_chroot=YES local_umask=022
    vsftpd_log_lines "$dir/$1.log" 100
    vsftpd_tls_lines "$dir/certs/$3.crt" "$dir/certs/$3.key"
    printf '%s\n' "$4"  # last: it may override the lines above (ssl_enable=NO)
  } >"$dir/$1.conf"
}

start_vsftpd() {  # name cert extra
  local port
  port=$(free_port)
  vsftpd_conf "$1" "$port" "$2" "${3:-}"
  vsftpd "$dir/$1.conf" >"$dir/$1.out" 2>&1 </dev/null &
  local pid=$!
  echo $pid >>"$dir/pids"
  wait_port "$port" "$pid" "$1"
  echo "$1 $port" >>"$dir/tls_servers.txt.new"
}

start_proftpd() {  # name extra-configuration [module]
  local port
  port=$(free_port)
  {
    proftpd_server_lines "afc tls test" "$port" "$dir/$1" 100
    printf '%s\n' "DefaultServer on" "Umask 022" "RequireValidShell off"
    proftpd_users_lines "$dir/proftpd.passwd" mod_auth_file.c
    proftpd_module_lines "$FTPD_DIR" mod_tls.c ${3:-}
    proftpd_tls_lines "$dir/$1.log" "$dir/certs/good.crt" "$dir/certs/good.key"
    printf '%s\n' "$2"
  } >"$dir/$1.conf"
  LD_PRELOAD=$(ldconfig -p | awk '/libssl.so.3 .*x86-64/{print $NF; exit}') \
    "$FTPD_DIR/usr/sbin/proftpd" -n -q -c "$dir/$1.conf" >"$dir/$1.out" 2>&1 </dev/null &
  local pid=$!
  echo $pid >>"$dir/pids"
  wait_port "$port" "$pid" "$1"
  echo "$1 $port" >>"$dir/tls_servers.txt.new"
}

stop_all
mkdir -p "$dir/empty"
chmod 755 "$dir/empty"
: >"$dir/pids"
: >"$dir/tls_servers.txt.new"
make_certs
make_tree

start_vsftpd vsftpd-explicit good strict_ssl_read_eof=YES
start_vsftpd vsftpd-implicit good implicit_ssl=YES
start_vsftpd vsftpd-noreuse good "require_ssl_reuse=NO
strict_ssl_read_eof=YES"
start_vsftpd vsftpd-expired expired require_ssl_reuse=NO
start_vsftpd vsftpd-wronghost wronghost require_ssl_reuse=NO
start_vsftpd vsftpd-selfsigned selfsigned require_ssl_reuse=NO
start_vsftpd vsftpd-selfwrong selfwrong require_ssl_reuse=NO
start_vsftpd vsftpd-unknownca unknownca require_ssl_reuse=NO
start_vsftpd vsftpd-expiredunknown expiredunknown require_ssl_reuse=NO
start_vsftpd vsftpd-intermediate intermediate require_ssl_reuse=NO
start_vsftpd vsftpd-loop loop require_ssl_reuse=NO
start_vsftpd vsftpd-plain good ssl_enable=NO

hash=$(openssl passwd -6 velpass)
echo "veluser:$hash:$(id -u veluser):$(id -g ftp)::$dir/tree/pub:/bin/sh" >"$dir/proftpd.passwd"
chmod 600 "$dir/proftpd.passwd"
start_proftpd proftpd-explicit ""
start_proftpd proftpd-implicit "TLSOptions UseImplicitSSL"
start_proftpd proftpd-noreuse "TLSOptions UseImplicitSSL NoSessionReuseRequired"
if [ -f "$FTPD_DIR/usr/lib/proftpd/mod_proxy.so" ]; then
  mkdir -p "$dir/proxy-tables"
  chown ftp "$dir/proxy-tables"
  start_proftpd proxy-tls "TLSOptions NoSessionReuseRequired
ProxyEngine on
ProxyLog $dir/proxy-tls-proxy.log
ProxyTables $dir/proxy-tables
ProxyRole forward
ProxyForwardMethod user@host
<Class loopback>
  From 127.0.0.1
  ProxyForwardEnabled on
</Class>" mod_proxy.c
fi

# --- the scripted fault server: one listening port per scenario, reported on its stdout.
cc -O1 -Wall -o "$dir/tls_fake_ftpd" "$here/tls_fake_ftpd.c" -lssl -lcrypto
"$dir/tls_fake_ftpd" "$dir/certs" >"$dir/fake.ports" 2>"$dir/fake.log" </dev/null &
pid=$!
echo $pid >>"$dir/pids"
for _ in $(seq 1 200); do
  grep -q '^ready' "$dir/fake.ports" 2>/dev/null && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.05
done
grep -q '^ready' "$dir/fake.ports" || {
  echo "ftpd_tls.sh: the fault server did not start ($(kill -0 "$pid" 2>/dev/null && echo running || echo exited))" >&2
  cat "$dir/fake.ports" "$dir/fake.log" >&2
  exit 1
}
grep '^fake-' "$dir/fake.ports" >>"$dir/tls_servers.txt.new"

mv "$dir/tls_servers.txt.new" "$dir/tls_servers.txt"
