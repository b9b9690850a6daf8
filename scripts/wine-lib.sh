# Sourced by the Wine wrappers. Needs QV_BUILD_DIR and QV_WINE_ARCH (i686 or x86_64).
# QV_WINE_SLOT (optional, a short name): a Wine of its own under $QV_BUILD_DIR/wine-slot-NAME,
# with its own prefix, wineserver, display and lock, so that tests which each need a whole
# Windows to themselves (the product key, the temp folder, the tray) can run side by side.
# qv_wine_prepare: makes sure the prefix exists for the right architecture, its wineserver is
# warm and persistent, and an X display is there (a private Xvfb unless QV_USE_DISPLAY=1 keeps
# $DISPLAY). Detached helpers write to files, never to the caller's pipes: CTest would wait for
# them.

QV_SOURCE_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
if [ -n "${QV_WINE_SLOT:-}" ]; then
  QV_WINE_HOME="$QV_BUILD_DIR/wine-slot-$QV_WINE_SLOT"
else
  QV_WINE_HOME="$QV_BUILD_DIR"
fi
export WINEPREFIX="$QV_WINE_HOME/wineprefix"
# Only the loader's own errors (a process stuck on a lock at exit names the lock and its holder).
export WINEDEBUG="${WINEDEBUG:--all,err+ntdll}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# Wine's WinINet also takes a proxy from these variables of the host environment: the
# tests' programs must reach the loopback servers directly, or through the proxy a test sets up.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY
# The i686 exe runs in a 32-bit prefix through the 32-bit loader and wineserver; without
# WINEARCH a new prefix would come out 64-bit and the 32-bit wineserver would refuse it.
if [ "$QV_WINE_ARCH" = x86_64 ]; then
  QV_WINE=/usr/lib/wine/wine64
  QV_WINESERVER=/usr/lib/wine/wineserver64
  export WINEARCH=win64
else
  QV_WINE=/usr/lib/wine/wine
  QV_WINESERVER=/usr/lib/wine/wineserver32
  export WINEARCH=win32
fi
[ -x "$QV_WINESERVER" ] || QV_WINESERVER=/usr/lib/wine/wineserver
export WINELOADER="$QV_WINE" WINESERVER="$QV_WINESERVER"

qv_wine_display() {
  if [ "${QV_USE_DISPLAY:-0}" = 1 ] && [ -n "${DISPLAY:-}" ]; then
    return 0
  fi
  local state="$QV_WINE_HOME/xvfb.state" pid num
  if [ -f "$state" ]; then
    read -r pid num <"$state"
    if kill -0 "$pid" 2>/dev/null; then
      export DISPLAY=":$num"
      return 0
    fi
  fi
  local fifo="$QV_WINE_HOME/xvfb.fd.$$"
  rm -f "$fifo"
  setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" </dev/null \
    >"$QV_WINE_HOME/xvfb.log" 2>&1 9>&- &
  pid=$!
  for _ in $(seq 100); do
    num=$(head -n1 "$fifo" 2>/dev/null)
    [ -n "$num" ] && break
    sleep 0.05
  done
  rm -f "$fifo"
  [ -n "$num" ] || { echo "wine-lib: Xvfb did not start" >&2; return 1; }
  echo "$pid $num" >"$state"
  export DISPLAY=":$num"
}

qv_wine_reg() { "$QV_WINE" reg add "$@" /f >>"$QV_WINE_HOME/wineprefix.log" 2>&1 </dev/null 9>&-; }

# The architecture a prefix was made for ("win32" or "win64"), empty when it has none yet.
qv_prefix_arch() {
  sed -n 's/^#arch=//p' "$1/system.reg" 2>/dev/null | head -n1
}

# Ends whatever wineserver serves this prefix, whichever architecture started it.
qv_wine_kill_servers() {
  local server
  for server in /usr/lib/wine/wineserver32 /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver; do
    [ -x "$server" ] && "$server" -k >/dev/null 2>&1 </dev/null 9>&-
  done
  return 0
}

# Exit 0 when the prefix at $1 is complete and made for architecture $2 (win32 or win64). One
# left by another host kind or an older harness would be refused by Wine or run the wrong
# loader; one without the ready mark is half made (an interrupted run).
qv_prefix_usable() {
  [ -f "$1/.qv-ready" ] && [ "$(qv_prefix_arch "$1")" = "$2" ]
}

qv_wine_prefix() {
  qv_prefix_usable "$WINEPREFIX" "$WINEARCH" && return 0
  if [ -e "$WINEPREFIX" ]; then
    echo "wine-lib: prefix $WINEPREFIX is '$(qv_prefix_arch "$WINEPREFIX")' or unfinished, not a ready $WINEARCH prefix: recreating it" >&2
    qv_wine_kill_servers
    rm -rf "$WINEPREFIX"
  fi
  echo "wine-lib: creating $WINEARCH prefix $WINEPREFIX" >&2
  "$QV_WINE" wineboot -i >"$QV_WINE_HOME/wineprefix.log" 2>&1 </dev/null 9>&-
  "$QV_WINESERVER" -w
  local made
  made=$(qv_prefix_arch "$WINEPREFIX")
  if [ "$made" != "$WINEARCH" ]; then
    echo "wine-lib: wineboot made a '${made:-broken}' prefix, not $WINEARCH (see $QV_WINE_HOME/wineprefix.log)" >&2
    return 1
  fi
  qv_wine_reg 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0
  qv_wine_reg 'HKCU\Software\Wine\Fonts\Replacements' /v "宋体" /t REG_SZ /d "WenQuanYi Zen Hei"
  qv_wine_reg 'HKCU\Software\Wine\Fonts\Replacements' /v SimSun /t REG_SZ /d "WenQuanYi Zen Hei"
  # No dialog may ever wait for a person in a headless run.
  qv_wine_reg 'HKCU\Software\Wine\AppDefaults\winedbg.exe\DllOverrides' /v dbghelp /t REG_SZ /d native
  "$QV_WINESERVER" -w
  touch "$WINEPREFIX/.qv-ready"
}

qv_wine_prepare() {
  mkdir -p "$QV_WINE_HOME"
  (
    flock 9
    qv_wine_display || exit 1
    qv_wine_prefix || exit 1
    # 'wineserver -p' answers 0 only when it started a new server; a live one answers at once
    # with a non-zero code. A new server gets its services started here, not inside a test.
    # Children must not inherit the lock's descriptor: a daemon would hold the lock for ever.
    if setsid "$QV_WINESERVER" -p </dev/null >/dev/null 2>&1 9>&-; then
      "$QV_WINE" cmd /c exit </dev/null >/dev/null 2>&1 9>&-
    fi
  ) 9>"$QV_WINE_HOME/wine.lock" || return 1
  qv_wine_display
}

# Ends the wineserver and Xvfb of this Wine home.
qv_wine_stop_home() {
  "$QV_WINESERVER" -k >/dev/null 2>&1 </dev/null || true
  local state="$QV_WINE_HOME/xvfb.state" pid num
  if [ -f "$state" ]; then
    read -r pid num <"$state"
    kill "$pid" 2>/dev/null || true
    rm -f "$state"
  fi
}

# Ends the wineservers and displays of the build tree and of all its slots.
qv_wine_stop() {
  local slot
  for slot in "" "$QV_BUILD_DIR"/wine-slot-*; do
    [ -z "$slot" ] || [ -d "$slot" ] || continue
    (
      if [ -n "$slot" ]; then QV_WINE_HOME=$slot; else QV_WINE_HOME=$QV_BUILD_DIR; fi
      WINEPREFIX="$QV_WINE_HOME/wineprefix"
      [ -d "$WINEPREFIX" ] || exit 0
      export WINEPREFIX
      qv_wine_stop_home
    )
  done
}
