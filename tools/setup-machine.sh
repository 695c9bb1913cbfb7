#!/usr/bin/env bash
# Installs everything the build and the tests need, from Debian's packages.
# Safe to run again: it installs only what is missing.
set -euo pipefail

need=()
pkgs=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64
      binutils-mingw-w64-i686 libz-mingw-w64-dev
      wine wine64 fonts-wine xvfb xauth x11-utils locales fonts-wqy-microhei imagemagick
      cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev googletest
      liblzma-dev zlib1g-dev xz-utils zstd nsis osslsigncode openssl dpkg-dev python3
      openjdk-17-jdk-headless time xdotool)
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done

# deb-src entry, so that the xz-utils sources can be fetched for the Windows liblzma
if ! grep -rqs 'deb-src\|Types: deb deb-src\|Types:.*deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/ ; then
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed -i 's/^Types: deb$/Types: deb deb-src/' /etc/apt/sources.list.d/debian.sources
  else
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list > /etc/apt/sources.list.d/deb-src.list
  fi
  updated=
else
  updated=1
fi

if [ ${#need[@]} -gt 0 ] || [ -z "${updated}" ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  [ ${#need[@]} -gt 0 ] && apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

if ! locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$'; then
  sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi
echo "setup-machine: ready"
