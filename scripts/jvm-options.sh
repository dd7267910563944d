#!/usr/bin/env bash
# The JVM options of the Mirror program, one a line: scripts/mirror.sh runs
# the program with them and bench/ measures it with them.
#
# A heap ceiling that fits the machine: a quarter of its memory, at most
# 1 GB, at least 128 MB. The program says when a site needs more;
# MIRROR_HEAP (in -Xmx's form: 512m, 2g) sets another.
set -euo pipefail
heap=${MIRROR_HEAP:-}
if [ -z "$heap" ]; then
  mem_kb=$(awk '/^MemTotal:/ {print $2}' /proc/meminfo 2>/dev/null || echo 0)
  mb=$((mem_kb / 4096))
  [ "$mb" -gt 1024 ] && mb=1024
  [ "$mb" -lt 128 ] && mb=128
  heap=${mb}m
fi
case "$heap" in
  [0-9]*[kKmMgG]|[0-9]*) ;;
  *) echo "mirror: MIRROR_HEAP=$heap is no heap size (examples: 512m, 2g)" >&2; exit 1 ;;
esac
echo "-Xmx$heap"
# The serial collector from a small heap: it grows the heap with what is
# live, not with how fast pages are read (10,000 pages of 100 links: peak RSS
# 94 MB against 498 MB with G1 at the same ceiling, CPU no higher).
# (A heap of the user's own starts where the JVM starts it.)
[ -n "${MIRROR_HEAP:-}" ] || echo "-Xms32m"
echo "-XX:+UseSerialGC"
# The quick compiler only: a run spends its time in native calls and on the
# network, and the optimising compiler's own work cost more than it won back
# (an update of 865 files: 2.2-2.6 s against 3.2 s).
echo "-XX:TieredStopAtLevel=1"
