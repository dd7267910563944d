#!/usr/bin/env bash
# Runs every scenario of the JNI test double against one build of the
# library, each in its own process, and reports each one. Every scenario must
# pass: none is skipped (the double asserts each platform's own outcome in the
# record), so any other exit, 77 included, fails the run.
#   run_scenarios.sh OUTDIR LIBRARY [RUNNER...] PROGRAM
# e.g. run_scenarios.sh out build/libx7fenwix.so build/tests/jnidouble/jnidouble
#      run_scenarios.sh out build/x7fenwix.dll wine build/tests/jnidouble/jnidouble.exe
set -uo pipefail
out=$1 lib=$2
shift 2
rm -rf "$out"
mkdir -p "$out"

names=$("$@" --list | tr -d '\r')
[ -n "$names" ] || { echo "no scenarios listed by $*"; exit 1; }
pass=0 fail=0
for s in $names; do
  t0=$(date +%s%N)
  "$@" "$lib" "$s" "$out" 2>"$out/$s.stderr"
  rc=$?
  ms=$(( ($(date +%s%N) - t0) / 1000000 ))
  case $rc in
    0) pass=$((pass + 1)); echo "PASS $s (${ms} ms)" ;;
    *)
      fail=$((fail + 1)); echo "FAIL $s (exit $rc, ${ms} ms)"
      [ -f "$out/$s.record" ] && grep -E '^(FAIL|FATAL)|^ *(FAIL|FATAL)' "$out/$s.record" | sed 's/^/    /'
      tr -d '\r' <"$out/$s.stderr" | grep -v '^Exception ' | tail -n 5 | sed 's/^/    stderr: /'
      ;;
  esac
done

# The double's own checks: each broken native must be caught, by name.
while IFS=$'\t' read -r name expected; do
  [ -n "$name" ] || continue
  "$@" --selftest "$name" "$out" >/dev/null 2>"$out/selftest_$name.stderr"
  rc=$?
  if [ -z "$expected" ]; then
    if [ $rc -eq 0 ]; then ok=1; else ok=0; fi
  elif [ $rc -eq 2 ] && tr -d '\r' <"$out/selftest_$name.stderr" | grep -qF "FATAL: " &&
       tr -d '\r' <"$out/selftest_$name.stderr" | grep -qF "$expected"; then
    ok=1
  else
    ok=0
  fi
  if [ $ok -eq 1 ]; then
    pass=$((pass + 1)); echo "PASS selftest $name${expected:+: caught}"
  else
    fail=$((fail + 1)); echo "FAIL selftest $name (exit $rc), want: ${expected:-a clean run}"
    tr -d '\r' <"$out/selftest_$name.stderr" | tail -n 3 | sed 's/^/    stderr: /'
  fi
done < <("$@" --selftest | tr -d '\r')

echo "$pass passed, $fail failed"
[ "$fail" -eq 0 ]
