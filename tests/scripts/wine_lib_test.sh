#!/usr/bin/env bash
# The Wine harness's prefix check: a prefix is reused only when it is complete and made for the
# architecture asked for; any other is recreated. Each row: how the prefix looks, the arch asked
# for, whether it may be used.
set -u
QV_BUILD_DIR=$(mktemp -d)
trap 'rm -rf "$QV_BUILD_DIR"' EXIT
QV_WINE_ARCH=i686
. "$(dirname "$0")/../../scripts/wine-lib.sh"

failures=0
check() { # description ready(0/1) system.reg-arch(or -) wanted expected(yes/no)
  local prefix="$QV_BUILD_DIR/p$RANDOM"
  mkdir -p "$prefix"
  [ "$2" = 1 ] && touch "$prefix/.qv-ready"
  [ "$3" != - ] && printf 'WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=%s\n' "$3" >"$prefix/system.reg"
  local got=no
  qv_prefix_usable "$prefix" "$4" && got=yes
  if [ "$got" != "$5" ]; then
    echo "FAIL: $1: usable=$got, expected $5"
    failures=$((failures + 1))
  else
    echo "ok: $1"
  fi
}

check "ready win32 prefix for the i686 build"          1 win32 win32 yes
check "ready win64 prefix for the x86_64 build"        1 win64 win64 yes
check "64-bit prefix left where the i686 build runs"   1 win64 win32 no
check "32-bit prefix left where the x86_64 build runs" 1 win32 win64 no
check "half-made prefix (no ready mark)"               0 win32 win32 no
check "no registry yet"                                1 -     win32 no
check "missing prefix"                                 0 -     win64 no

# The architecture follows the build: the i686 build asks for a 32-bit prefix.
[ "$WINEARCH" = win32 ] || { echo "FAIL: i686 build asks for '$WINEARCH'"; failures=$((failures + 1)); }
[ "$failures" -eq 0 ]
