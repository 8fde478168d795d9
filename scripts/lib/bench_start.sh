# shellcheck shell=bash
# The start every benchmark script of bench/ shares (sourced): `here` (the repository), the
# environment of scripts/env.sh, `smoke` (non-empty under AFC_BENCH_SMOKE=1, the test command's
# short run on the tree as built; otherwise the Windows tree is built first), and `median`
# (the middle of the numbers on stdin, one per line).
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$here/scripts/env.sh"
smoke=${AFC_BENCH_SMOKE:-}
[ "$smoke" != 0 ] || smoke=
[ -n "$smoke" ] || bash "$here/scripts/build" win >/dev/null
median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
