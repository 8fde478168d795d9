# shellcheck shell=bash
# Configuration lines of the FTP servers the tests, the benchmarks and the demo run on loopback
# (sourced). Each function prints lines; a script joins the groups it needs into one file:
#
#   { vsftpd_server_lines "$port" "$dir/empty"; vsftpd_anonymous_lines "$root"; ...; } >"$conf"
#
# vsftpd: in the foreground (background=NO) without its seccomp sandbox, as root, bound to
# 127.0.0.1 only, passive and active data connections, active ones not from port 20.
# ProFTPD: standalone, bound to 127.0.0.1 only (SocketBindTight), run as ftp/nogroup, its pid,
# scoreboard and state beside the configuration; started with -n -q -c FILE.

# Every server here takes writes (write_enable: uploads, folders, renames, deletes).
vsftpd_server_lines() {  # port secure-chroot-dir (an empty folder owned by root)
  cat <<CONF
listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port=$1
background=NO
seccomp_sandbox=NO
pasv_enable=YES
port_enable=YES
connect_from_port_20=NO
secure_chroot_dir=$2
write_enable=YES
CONF
}

# Anonymous logins ("anonymous" and "ftp" in any case, no password asked) rooted at `root`, and
# allowed to upload, make folders, rename and delete.
vsftpd_anonymous_lines() {  # root
  cat <<CONF
anonymous_enable=YES
anon_root=$1
no_anon_password=YES
anon_upload_enable=YES
anon_mkdir_write_enable=YES
anon_other_write_enable=YES
anon_world_readable_only=NO
anon_umask=022
CONF
}

# Local accounts through PAM (scripts/setup makes "veluser"), landing in `root`.
vsftpd_local_lines() {  # root
  cat <<CONF
local_enable=YES
local_root=$1
pam_service_name=vsftpd
CONF
}

# Every command received, in `log`; room for many sessions at once (the tests pool and race).
vsftpd_log_lines() {  # log max-sessions
  cat <<CONF
xferlog_enable=YES
xferlog_std_format=NO
log_ftp_protocol=YES
vsftpd_log_file=$1
dirmessage_enable=NO
max_clients=$2
max_per_ip=$2
CONF
}

# Explicit TLS required for local logins and their data, with the given certificate.
vsftpd_tls_lines() {  # certificate key
  cat <<CONF
ssl_enable=YES
rsa_cert_file=$1
rsa_private_key_file=$2
force_local_logins_ssl=YES
force_local_data_ssl=YES
ssl_ciphers=HIGH:!aNULL
debug_ssl=YES
CONF
}

proftpd_server_lines() {  # server-name port state-prefix max-instances
  cat <<CONF
ServerType standalone
ServerName "$1"
Port $2
DefaultAddress 127.0.0.1
SocketBindTight on
UseIPv6 off
UseReverseDNS off
User ftp
Group nogroup
MaxInstances $4
PidFile $3.pid
ScoreboardFile $3.scoreboard
DelayTable none
WtmpLog off
CONF
}

# Users of an AuthUserFile (lines "name:hash:uid:gid::home:shell"), each jailed in its home.
proftpd_users_lines() {  # passwd-file auth-modules
  cat <<CONF
AuthOrder $2
AuthUserFile $1
DefaultRoot ~
AllowOverwrite on
CONF
}

# Anonymous logins ("anonymous" and "Anonymous": ProFTPD matches the name with case) rooted at
# `root`; with "writable", every folder takes uploads and overwrites.
proftpd_anonymous_lines() {  # root [writable]
  echo "<Anonymous $1>"
  cat <<CONF
  User ftp
  Group nogroup
  UserAlias anonymous ftp
  UserAlias Anonymous ftp
  RequireValidShell off
CONF
  if [ "${2:-}" = writable ]; then
    cat <<CONF
  <Directory *>
    AllowOverwrite on
    <Limit WRITE>
      AllowAll
    </Limit>
  </Directory>
CONF
  fi
  echo "</Anonymous>"
}

# The modules of the packaged daemon unpacked under `ftpd_dir`, loaded in order.
proftpd_module_lines() {  # ftpd-dir module...
  echo "ModulePath $1/usr/lib/proftpd"
  shift
  local m
  for m in "$@"; do echo "LoadModule $m"; done
}

# mod_tls: explicit TLS required, TLS 1.2 and 1.3, the given certificate, no client
# certificates, no renegotiation (load mod_tls.c first).
proftpd_tls_lines() {  # log certificate key
  cat <<CONF
TLSEngine on
TLSLog $1
TLSProtocol TLSv1.2 TLSv1.3
TLSRSACertificateFile $2
TLSRSACertificateKeyFile $3
TLSVerifyClient off
TLSRequired on
TLSRenegotiate none
CONF
}
