#!/usr/bin/env bash
# The benchmarks in one command: installs what is missing, builds the library
# (linux-x64) and the benchmark's own floor library, runs every benchmark and
# prints the table (also written to $BENCH_BUILD/table.md). "bench/run.sh growth"
# runs the growth table alone (written to $BENCH_BUILD/growth.md).
#   BENCH_BUILD  builds and scratch files (default: build/bench)
#   BENCH_RUNS   runs per figure, at least 3 (default: 3)
#   BENCH_GROWTH, BENCH_GROWTH_LINKS, BENCH_GROWTH_CAP   the growth table (bench/java/Growth.java)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/bootstrap.sh
out=${BENCH_BUILD:-$root/build/bench}
runs=${BENCH_RUNS:-3}
jdk=/usr/lib/jvm/java-17-openjdk-amd64
docs=/usr/share/doc/sqlite3
[ -f "$docs/index.html" ] || { echo "bench: $docs/index.html is missing (package sqlite3-doc)" >&2; exit 1; }
[ "$runs" -ge 3 ] || { echo "bench: BENCH_RUNS must be 3 or more" >&2; exit 1; }

lib=$out/linux-x64
cmake --preset linux-x64 -B "$lib" >/dev/null
cmake --build "$lib" -j"$(nproc)" --target x7fenwix >/dev/null

# The floor: the same host calls per character and per chunk, nothing else.
classes=$out/classes
rm -rf "$classes" && mkdir -p "$classes" "$out/jni"
"$jdk/bin/javac" -d "$classes" -h "$out/jni" -cp "$lib/x7host.jar" bench/java/*.java
g++ -std=c++17 -O2 -g -DNDEBUG -shared -fPIC -Wall -Wextra -Wno-unused-parameter \
  -I"$jdk/include" -I"$jdk/include/linux" -I"$out/jni" bench/native/floor.cpp -o "$out/libx7floor.so"

# The heap probe of the growth table, a Java agent.
printf 'Premain-Class: HeapProbe\n' >"$out/probe.mf"
"$jdk/bin/jar" cfm "$out/heapprobe.jar" "$out/probe.mf" -C "$classes" HeapProbe.class

# Mirror runs with the launcher's own JVM options (heap ceiling included).
mirror_jvm=$(scripts/jvm-options.sh | paste -sd' ')
run=("$jdk/bin/java" -Djava.library.path="$lib:$out" -Dbench.probe="$out/heapprobe.jar" -Dbench.mirrorJvm="$mirror_jvm"
  -cp "$classes:$lib/x7host.jar")
if [ "${1:-}" = growth ]; then
  # the growth table alone: bench/run.sh growth
  "${run[@]}" Bench growth "$out/work" "$lib" "$lib/x7host.jar" "$docs" | tee "$out/growth.md"
else
  "${run[@]}" Bench all "$out/work" "$docs" "$lib" "$lib/x7host.jar" "$runs" | tee "$out/table.md"
fi
