#!/usr/bin/env bash
# Runs the scenarios of the JNI test double against the 32-bit Linux build
# (which must pass on its own) and compares each record with the one of the
# Windows build under Wine. Records
# must be identical except inside ">>> platform-specific" blocks, where each
# scenario has asserted its own platform's outcome; those blocks must match
# in number and reason.
#   compare_records.sh LINUX_X86_BUILD LINUX_RECORDS WINE_RECORDS
set -uo pipefail
build=$1 linux=$2 wine=$3
here=$(dirname "$0")
exe=$build/tests/jnidouble/jnidouble lib=$build/libx7fenwix.so
if [ ! -x "$exe" ] || [ ! -f "$lib" ]; then
  echo "the 32-bit Linux build is missing ($exe, $lib): build the linux-x86 preset first"
  exit 1
fi
echo "== 32-bit Linux run"
linux_rc=0
bash "$here/run_scenarios.sh" "$linux" "$lib" "$exe" >"$linux.log" 2>&1 || linux_rc=$?
sed 's/^/  /' "$linux.log"
[ "$linux_rc" -eq 0 ] || echo "the 32-bit Linux run failed (exit $linux_rc)"

# The record without what lies between the markers; the markers stay.
outside() { awk '/^>>> platform-specific/ {print; skip=1; next} /^<<< platform-specific/ {skip=0} !skip' "$1"; }
# Each kind of block once, as one line: its reason and the checks inside.
inside() {
  awk '/^>>> platform-specific/ {b=substr($0, 24); next}
       /^<<< platform-specific/ {if (b ~ / [|] / && !seen[b]++) print b; b=""; next}
       b != "" && /^(ok|FAIL): / {b=b " | " $0}' "$1"
}

same=0 differ=0
echo "== Linux records against Windows records"
for rec in "$linux"/*.record "$wine"/*.record; do
  name=$(basename "$rec" .record)
  case $name in selftest_*) continue ;; esac  # the double's own checks, per platform
  [ -f "$linux/$name.record" ] && [ -f "$wine/$name.record" ] || {
    echo "DIFFER $name: a record on one side only"; differ=$((differ + 1)); continue; }
done
for rec in "$linux"/*.record; do
  name=$(basename "$rec" .record)
  case $name in selftest_*) continue ;; esac
  [ -f "$wine/$name.record" ] || continue
  if diff -u --label "linux/$name" --label "wine/$name" <(outside "$rec") <(outside "$wine/$name.record") \
      >"$linux/$name.diff"; then
    same=$((same + 1))
    blocks=$(grep -c '^>>> platform-specific' "$rec")
    echo "SAME $name (outside $blocks platform-specific blocks)"
    inside "$rec" | sed 's/^/    by design, linux: /'
    inside "$wine/$name.record" | sed 's/^/    by design, wine:  /'
  else
    differ=$((differ + 1))
    echo "DIFFER $name"
    sed 's/^/    /' "$linux/$name.diff" | head -n 60
  fi
done
failed=$differ
[ "$linux_rc" -eq 0 ] || failed=$((failed + 1))
echo "$same passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$same" -gt 0 ]
