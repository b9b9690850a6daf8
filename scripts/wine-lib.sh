# Sourced by the Wine wrappers. Needs QV_BUILD_DIR and QV_WINE_ARCH (i686 or x86_64).
# qv_wine_prepare: makes sure the build tree's private prefix exists, its wineserver is warm and
# persistent, and an X display is there (a private Xvfb unless QV_USE_DISPLAY=1 keeps $DISPLAY).
# Detached helpers write to files, never to the caller's pipes: CTest would wait for them.

QV_SOURCE_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="$QV_BUILD_DIR/wineprefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if [ "$QV_WINE_ARCH" = x86_64 ]; then
  QV_WINE=/usr/lib/wine/wine64
  QV_WINESERVER=/usr/lib/wine/wineserver64
else
  QV_WINE=/usr/lib/wine/wine
  QV_WINESERVER=/usr/lib/wine/wineserver32
fi
[ -x "$QV_WINESERVER" ] || QV_WINESERVER=/usr/lib/wine/wineserver
export WINELOADER="$QV_WINE" WINESERVER="$QV_WINESERVER"

qv_wine_display() {
  if [ "${QV_USE_DISPLAY:-0}" = 1 ] && [ -n "${DISPLAY:-}" ]; then
    return 0
  fi
  local state="$QV_BUILD_DIR/xvfb.state" pid num
  if [ -f "$state" ]; then
    read -r pid num <"$state"
    if kill -0 "$pid" 2>/dev/null; then
      export DISPLAY=":$num"
      return 0
    fi
  fi
  local fifo="$QV_BUILD_DIR/xvfb.fd.$$"
  rm -f "$fifo"
  setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" </dev/null \
    >"$QV_BUILD_DIR/xvfb.log" 2>&1 9>&- &
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

qv_wine_reg() { "$QV_WINE" reg add "$@" /f >>"$QV_BUILD_DIR/wineprefix.log" 2>&1 </dev/null 9>&-; }

qv_wine_prefix() {
  [ -f "$WINEPREFIX/.qv-ready" ] && return 0
  echo "wine-lib: creating prefix $WINEPREFIX" >&2
  "$QV_WINE" wineboot -i >"$QV_BUILD_DIR/wineprefix.log" 2>&1 </dev/null 9>&-
  "$QV_WINESERVER" -w
  qv_wine_reg 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0
  qv_wine_reg 'HKCU\Software\Wine\Fonts\Replacements' /v "宋体" /t REG_SZ /d "WenQuanYi Zen Hei"
  qv_wine_reg 'HKCU\Software\Wine\Fonts\Replacements' /v SimSun /t REG_SZ /d "WenQuanYi Zen Hei"
  # No dialog may ever wait for a person in a headless run.
  qv_wine_reg 'HKCU\Software\Wine\AppDefaults\winedbg.exe\DllOverrides' /v dbghelp /t REG_SZ /d native
  "$QV_WINESERVER" -w
  touch "$WINEPREFIX/.qv-ready"
}

qv_wine_prepare() {
  mkdir -p "$QV_BUILD_DIR"
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
  ) 9>"$QV_BUILD_DIR/wine.lock" || return 1
  qv_wine_display
}

# Ends this build tree's wineserver and Xvfb.
qv_wine_stop() {
  "$QV_WINESERVER" -k >/dev/null 2>&1 || true
  local state="$QV_BUILD_DIR/xvfb.state" pid num
  if [ -f "$state" ]; then
    read -r pid num <"$state"
    kill "$pid" 2>/dev/null || true
    rm -f "$state"
  fi
}
