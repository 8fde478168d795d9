# Shared paths and the private Wine/X environment of the build. Sourced by the other scripts.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${AFC_BUILD_DIR:-$ROOT/build}
WIN_BUILD=${AFC_WIN_BUILD:-$BUILD/win}
HOST_BUILD=$BUILD/host
export WINEPREFIX=$BUILD/wineprefix
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export FTPD_DIR=${FTPD_DIR:-/opt/afc-ftpd}

STARTED_XVFB_PID=""
STARTED_WINESERVER=""

# Starts a private Xvfb on the first free display from :90 and exports DISPLAY.
start_xvfb() {
  local n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  STARTED_XVFB_PID=$!
  for _ in $(seq 1 100); do
    [ -e "/tmp/.X11-unix/X$n" ] && break
    sleep 0.05
  done
  export DISPLAY=":$n"
}

# Creates the prefix once and keeps one wineserver alive while tests run.
start_wine() {
  mkdir -p "$BUILD"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "== creating the Wine prefix (once)"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
  fi
  # The server and the services the first program starts (explorer, services, winedevice)
  # outlive test programs: start them here, away from ctest's output pipes, or ctest would
  # wait for those pipes to close.
  # Wine's own fonts (Marlett for the caption buttons, MS Sans Serif ...) are not found in its
  # data folder by this distribution's build: put them where every Windows looks.
  local fonts="$WINEPREFIX/drive_c/windows/Fonts"
  if [ -d /usr/share/wine/fonts ] && [ ! -f "$fonts/marlett.ttf" ]; then
    mkdir -p "$fonts" && cp -n /usr/share/wine/fonts/* "$fonts/" 2>/dev/null || true
  fi
  # A server already running for this prefix (another script of ours) is used as it is, and
  # left to whoever started it.
  if wineserver -p >/dev/null 2>&1 </dev/null; then STARTED_WINESERVER=1; fi
  wine cmd /c exit >/dev/null 2>&1 </dev/null || true
  # Wine's own fonts (the bitmap "MS Sans Serif" the windows are laid out in, Tahoma for the
  # dialogs) are only found in the prefix's Fonts folder.
  if [ -d /usr/share/wine/fonts ] && [ ! -f "$WINEPREFIX/drive_c/windows/Fonts/sserife.fon" ]; then
    cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  fi
  # No window manager runs on the private display: windows are unmanaged, so Wine draws their
  # frames itself and hiding or destroying one does not wait two seconds for a manager that
  # never answers.
  if ! grep -q '"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 </dev/null || true
  fi
  # A program that crashes must end with an error, never wait in Wine's crash dialog for a
  # person: without the dialog the debugger prints its backtrace and the program ends.
  if ! grep -q '"ShowCrashDialog"=dword:00000000' "$WINEPREFIX/user.reg" 2>/dev/null; then
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 </dev/null || true
  fi
}

# The Wine processes of this prefix (its wineserver and every program), found by the prefix in
# their environment and Wine's loader or server as their executable: never other people's Wine,
# nor our Xvfb and test servers (which inherit the variable).
prefix_pids() {
  local p
  for p in /proc/[0-9]*; do
    case "$(readlink "$p/exe" 2>/dev/null)" in */wine*) ;; *) continue;; esac
    { tr '\0' '\n' <"$p/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && echo "${p#/proc/}"
  done
  return 0
}

prefix_wineserver_pid() {
  local p
  for p in $(prefix_pids); do
    case "$(cat "/proc/$p/comm" 2>/dev/null)" in wineserver*) echo "$p"; return 0;; esac
  done
  return 0
}

# After the prefix's wineserver has gone, its Wine processes wait for it for ever: end them.
kill_prefix_orphans() {
  local pids
  pids=$(prefix_pids)
  [ -z "$pids" ] || kill -9 $pids 2>/dev/null || true
  STARTED_WINESERVER=""
}

stop_started() {
  if [ -n "$STARTED_WINESERVER" ]; then wineserver -k >/dev/null 2>&1 || true; STARTED_WINESERVER=""; fi
  if [ -n "$STARTED_XVFB_PID" ]; then kill "$STARTED_XVFB_PID" 2>/dev/null || true; wait "$STARTED_XVFB_PID" 2>/dev/null || true; STARTED_XVFB_PID=""; fi
}
