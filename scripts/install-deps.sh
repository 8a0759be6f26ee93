#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine. Fast when all is there.
set -euo pipefail

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

pkgs=(cmake ninja-build g++-mingw-w64-i686-posix mingw-w64-tools binutils-mingw-w64-i686
      wine wine32:i386 wine64 libwine:i386 xvfb xauth fonts-wqy-microhei
      googletest nlohmann-json3-dev dpkg-dev python3 python3-pytest file)
for p in "${pkgs[@]}"; do have "$p" || need+=("$p"); done

src_dir="${TINYXML2_SRC_ROOT:-/usr/local/src/tinyxml2}"
tinyxml_ok=0
ls "$src_dir"/tinyxml2-*/tinyxml2.cpp >/dev/null 2>&1 && tinyxml_ok=1

if [ ${#need[@]} -eq 0 ] && [ $tinyxml_ok -eq 1 ]; then
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi

# A deb-src entry for the tinyxml2 source package, mirroring the Debian entry.
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
  $SUDO tee /etc/apt/sources.list.d/kivo-deb-src.sources >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
fi

$SUDO apt-get update -qq
if [ ${#need[@]} -gt 0 ]; then
  $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

if [ $tinyxml_ok -eq 0 ]; then
  $SUDO mkdir -p "$src_dir"
  (cd "$src_dir" && $SUDO apt-get source -qq --download-only tinyxml2 &&
     $SUDO tar xf tinyxml2_*.orig.tar.* )
  ls "$src_dir"/tinyxml2-*/tinyxml2.cpp >/dev/null
fi
