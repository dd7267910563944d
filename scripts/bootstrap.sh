#!/usr/bin/env bash
# Installs everything the build and the tests need from Debian's packages.
# Idempotent: a machine that has it all installs nothing.
set -euo pipefail

PKGS=(cmake g++ g++-multilib make openjdk-17-jdk-headless openjdk-17-jdk-headless:i386
      g++-mingw-w64-i686 binutils-mingw-w64-i686 junit5 googletest libgtest-dev
      nginx-light sqlite3-doc linkchecker wget
      clang libclang-rt-14-dev g++-mingw-w64-i686-posix wine wine32:i386)

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  NEED_UPDATE=1
fi

missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "bootstrap: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  # nginx must not stay running as a system service: the tests start their own.
  if command -v systemctl >/dev/null 2>&1; then systemctl disable --now nginx >/dev/null 2>&1 || true; fi
  pkill -x nginx >/dev/null 2>&1 || true
fi
