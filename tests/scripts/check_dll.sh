#!/usr/bin/env bash
# Checks the Windows DLL: its export table holds exactly the decorated name of
# every native the sources define (leading underscore, at-sign, argument
# bytes counted from the javac -h prototypes), and it imports only Windows
# system DLLs.
set -euo pipefail
dll=$1 src=$(dirname "$2") jni=$3

# Argument bytes of each native prototype: 8 for jlong/jdouble, 4 for the rest.
expected=$(cat "$jni"/*.h | tr '\n' ' ' | grep -oE 'JNICALL Java_[A-Za-z0-9_]+ *\([^)]*\)' |
  awk '{ name=$2; sub(/\(.*/, "", name); args=$0; sub(/^[^(]*\(/, "", args); sub(/\).*/, "", args);
         n=split(args, a, ","); bytes=0;
         for (i=1;i<=n;i++) bytes += (a[i] ~ /jlong|jdouble/) ? 8 : 4;
         print name, bytes }')
defined=$(grep -rhoE 'JNICALL Java_[A-Za-z0-9_]+' "$src" | awk '{print $2}' | sort -u)

want=$(for d in $defined; do
  b=$(printf '%s\n' "$expected" | awk -v n="$d" '$1==n {print $2}')
  [ -n "$b" ] || { echo "no prototype for $d" >&2; exit 1; }
  echo "_${d}@${b}"
done | sort)

dump=$(i686-w64-mingw32-objdump -p "$dll")
have=$(printf '%s\n' "$dump" | awk '/\[Ordinal\/Name Pointer\] Table/ {t=1; next} t && NF==0 {t=0} t {print $NF}' | sort)

if [ "$want" != "$have" ]; then
  echo "export table differs"; diff <(echo "$want") <(echo "$have") || true; exit 1
fi
echo "exports ($(echo "$have" | wc -l)):"; echo "$have" | sed 's/^/  /'

imports=$(printf '%s\n' "$dump" | awk '/DLL Name:/ {print tolower($3)}' | sort -u)
echo "imports:"; echo "$imports" | sed 's/^/  /'
bad=$(echo "$imports" | grep -vE '^(kernel32|msvcrt|user32|advapi32|ntdll|ucrtbase|api-ms-win-[a-z0-9-]+)\.dll$' || true)
if [ -n "$bad" ]; then echo "non-system imports: $bad"; exit 1; fi
echo "dll ok"
