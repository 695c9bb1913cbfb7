#!/usr/bin/env bash
# Installs everything the build and the tests need, from Debian's packages.
# Safe to run again: it installs only what is missing.
set -euo pipefail
# shellcheck source=tools/apt.sh
source "$(dirname "$0")/apt.sh"

need=()
pkgs=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64
      binutils-mingw-w64-i686 libz-mingw-w64-dev
      wine wine64 fonts-wine xvfb xauth x11-utils locales fonts-wqy-microhei imagemagick
      cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev googletest
      clang-format-14 liblzma-dev zlib1g-dev xz-utils zstd nsis osslsigncode openssl dpkg-dev python3
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
  apt_try update -qq
  [ ${#need[@]} -gt 0 ] && apt_try install -y -qq --no-install-recommends "${need[@]}"
fi

# What the build takes from the machine rather than fetching itself (SETUP_DEPS_DIR in
# the build): the xz-utils source for the Windows liblzma, and GoogleTest built by each
# mingw toolchain from Debian's googletest sources.
deps=/opt/setup-deps
here=$(cd "$(dirname "$0")/.." && pwd)
if [ ! -f "$deps/xz-utils/CMakeLists.txt" ]; then
  dl=$(mktemp -d)
  (cd "$dl" && apt_try source -qq xz-utils)
  mkdir -p "$deps"
  rm -rf "$deps/xz-utils"
  mv "$(find "$dl" -mindepth 1 -maxdepth 1 -type d -name 'xz-utils-*')" "$deps/xz-utils"
  rm -rf "$dl"
fi
for arch in x86_64 i686; do
  prefix="$deps/$arch-w64-mingw32"
  [ -f "$prefix/lib/cmake/GTest/GTestConfig.cmake" ] && continue
  b=$(mktemp -d)
  cmake -S /usr/src/googletest -B "$b" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF -Dgtest_force_shared_crt=OFF -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
  cmake --build "$b" >/dev/null
  cmake --install "$b" >/dev/null
  rm -rf "$b"
done

if ! locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$'; then
  sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi
echo "setup-machine: ready"
