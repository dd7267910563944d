#!/usr/bin/env bash
# Installs what the project needs from Debian's packages.
#   bootstrap.sh mirror   what the Mirror program needs: the 64-bit Linux build
#                         of the library and the Java host, tests off
#   bootstrap.sh [test]   that and what the tests need on top (default)
# Idempotent: a machine that has it all installs nothing. After a complete
# check a stamp is left in build/; while this script and Debian's package
# database stay as they were, the next run trusts it and queries nothing.
set -euo pipefail
mode=${1:-test}

MIRROR_PKGS=(cmake g++ make openjdk-17-jdk-headless)
TEST_PKGS=(g++-multilib openjdk-17-jdk-headless:i386
           g++-mingw-w64-i686 binutils-mingw-w64-i686 junit5 googletest libgtest-dev
           nginx-light sqlite3-doc linkchecker wget wget2 time
           chromium sphinx-doc libcommons-lang3-java-doc
           clang libclang-rt-14-dev g++-mingw-w64-i686-posix wine wine32:i386)
case $mode in
  mirror) PKGS=("${MIRROR_PKGS[@]}") ;;
  test) PKGS=("${MIRROR_PKGS[@]}" "${TEST_PKGS[@]}") ;;
  *) echo "usage: bootstrap.sh [mirror|test]" >&2; exit 2 ;;
esac

self=${BASH_SOURCE[0]}
repo=$(cd "$(dirname "$self")/.." && pwd)
stamp_dir=$repo/build
# What the stamp stands for: this script (and so its package lists) and the
# package database, which changes whenever anything is installed or removed.
stamp_key() { echo "$(sha256sum <"$self" | cut -d' ' -f1) $(stat -c '%i %.9Y %s' /var/lib/dpkg/status)"; }
key=$(stamp_key)
stamp_ok() { [ -f "$stamp_dir/.bootstrap-$1" ] && [ "$(cat "$stamp_dir/.bootstrap-$1")" = "$key" ]; }
# What the tests install covers the mirror's.
if stamp_ok "$mode" || { [ "$mode" = mirror ] && stamp_ok test; }; then exit 0; fi

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

if [ "$mode" = test ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi

missing=()
for p in "${PKGS[@]}"; do
  installed "$p" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  # One install at a time: each one swaps policy-rc.d and puts it back.
  mkdir -p /run/lock
  exec 9>/run/lock/x7fenwix-bootstrap.lock
  flock 9
  # The packages' services (nginx's above all) must not start: the tests
  # start servers of their own. A policy-rc.d that forbids every start does
  # it without touching any process of the machine; the one there before,
  # if any, is put back afterwards.
  policy=/usr/sbin/policy-rc.d
  saved=
  if [ -e "$policy" ]; then
    saved=$(mktemp "$policy.x7fenwix-saved.XXXXXX")
    mv -f "$policy" "$saved"
  fi
  restore_policy() {
    rm -f "$policy"
    if [ -n "$saved" ]; then mv -f "$saved" "$policy"; fi
  }
  trap restore_policy EXIT
  trap 'exit 130' INT TERM HUP
  printf '#!/bin/sh\n# x7fenwix bootstrap: no service starts during its install.\nexit 101\n' >"$policy"
  chmod 755 "$policy"
  had_nginx=0
  installed nginx-common && had_nginx=1

  echo "bootstrap: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

  # An nginx service that this install brought stays off at boot too. One
  # that was there before is the machine's own: left as it is.
  if [ "$had_nginx" = 0 ] && installed nginx-common; then
    if command -v systemctl >/dev/null 2>&1; then systemctl disable nginx >/dev/null 2>&1 || true; fi
    if command -v update-rc.d >/dev/null 2>&1; then update-rc.d nginx disable >/dev/null 2>&1 || true; fi
  fi
  restore_policy
  trap - EXIT INT TERM HUP
fi

# Stamped only after a check that found everything (or installed it).
key=$(stamp_key)
mkdir -p "$stamp_dir"
printf '%s\n' "$key" >"$stamp_dir/.bootstrap-$mode"
