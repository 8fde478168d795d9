# Helpers of the scripts that start FTP servers for the tests (sourced; they read $dir, the
# run folder, where $dir/pids lists the processes the script started).
#   stop_all          stops exactly the recorded pids (TERM, then KILL after 5 s), never by name
#   free_port         prints a free loopback port
#   wait_port P PID N waits until port P accepts connections; fails (with N's log) if PID ends

stop_all() {
  [ -f "$dir/pids" ] || return 0
  while read -r pid; do
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  done <"$dir/pids"
  while read -r pid; do
    for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  done <"$dir/pids"
  rm -f "$dir/pids"
}

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

wait_port() {  # port pid name
  local me
  me=$(basename "$0")
  for _ in $(seq 1 100); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; then return 0; fi
    kill -0 "$2" 2>/dev/null || { echo "$me: $3 exited; see $dir/$3.log" >&2; cat "$dir/$3.log" >&2 || true; return 1; }
    sleep 0.1
  done
  echo "$me: $3 did not listen on $1" >&2
  return 1
}
