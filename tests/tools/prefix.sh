#!/usr/bin/env bash
# Wine prefixes owned by a test run.
#   prefix.sh make  PREFIX   a fresh prefix (null graphics driver, real user
#                            folders, fonts for Chinese text); kept if ready
#   prefix.sh up    PREFIX   make it if needed and start its persistent server
#   prefix.sh down  PREFIX   stop that prefix's server (and only that one)
#   prefix.sh clone TEMPLATE PREFIX   fast copy: system folders hard-linked
set -euo pipefail
cmd=${1:?command}
P=${2:?prefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml='
unset DISPLAY WAYLAND_DISPLAY

quiet() { "$@" </dev/null >/dev/null 2>&1; }

make_prefix() {
  [ -f "$P/.kivo-ready" ] && return 0
  [ -d "$P" ] && { WINEPREFIX="$P" quiet wineserver -k || true; rm -rf "$P"; }
  mkdir -p "$P"
  export WINEPREFIX="$P"
  quiet wineboot -i
  # Headless: boxes are real windows that block and can be answered.
  quiet wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f
  quiet wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
    /v Tahoma /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f
  quiet wineserver -w
  # The user folders are links into the Linux home: make them real folders.
  for link in "$P"/drive_c/users/*/*; do
    if [ -L "$link" ]; then rm -f "$link"; mkdir -p "$link"; fi
  done
  touch "$P/.kivo-ready"
}

case "$cmd" in
  make) make_prefix ;;
  up)
    make_prefix
    export WINEPREFIX="$P"
    # A server of this prefix left from an earlier run would refuse -p: end it first.
    quiet wineserver -k || true
    quiet wineserver -w || true
    quiet wineserver -p
    # Bring the prefix's own services up now, detached from any test's output.
    quiet wine cmd /c exit
    ;;
  down)
    WINEPREFIX="$P" quiet wineserver -k || true
    WINEPREFIX="$P" quiet wineserver -w || true
    ;;
  clone)
    T=$P
    D=${3:?destination}
    rm -rf "$D"
    mkdir -p "$D"
    # Everything copied except the big system folders, which are hard-linked:
    # the server rewrites *.reg in place, so those must be real copies.
    (cd "$T" && find . -mindepth 1 -maxdepth 1 ! -name drive_c -exec cp -a {} "$D"/ \;)
    mkdir -p "$D/drive_c"
    (cd "$T/drive_c" && find . -mindepth 1 -maxdepth 1 ! -name windows -exec cp -a {} "$D/drive_c"/ \;)
    mkdir -p "$D/drive_c/windows"
    for e in "$T"/drive_c/windows/* "$T"/drive_c/windows/.[!.]*; do
      [ -e "$e" ] || continue
      n=$(basename "$e")
      case "$n" in
        system32|syswow64|winsxs) cp -al "$e" "$D/drive_c/windows/$n" ;;
        *) cp -a "$e" "$D/drive_c/windows/$n" ;;
      esac
    done
    ;;
  *) echo "unknown command $cmd" >&2; exit 2 ;;
esac
