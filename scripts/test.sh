#!/usr/bin/env bash
# Every test: installs what is missing, builds the three targets, runs each
# target's CTest suite (unit tests, the Java suites in the 64-bit and the
# 32-bit JVM under -Xcheck:jni, end-to-end runs against nginx, DLL checks).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh test
jobs=$(nproc)
for p in linux-x64 linux-x86 win32; do
  cmake --preset "$p" >/dev/null
  cmake --build "build/$p" -j"$jobs"
done
rc=0
for p in linux-x64 linux-x86 win32; do
  echo "== CTest: $p"
  (cd "build/$p" && ctest --output-on-failure -j"$jobs") || rc=1
done
echo "== Fuzz: text algorithms (libFuzzer, ASan, UBSan)"
tests/fuzz/run.sh build/fuzz || rc=1
exit $rc
