#!/usr/bin/env bash
# Mirrors a web site for offline reading: installs what is missing, builds the
# library and the Java host (64-bit Linux) into build/mirror, then runs the
# Mirror program.
#
#   scripts/mirror.sh                      the bundled sample site into ./mirror-out
#   scripts/mirror.sh URL [OUT] [options]  a site of your own; --help lists the options
#
# Running the same command again updates the copy: only what changed on the
# server is transferred, and an interrupted run goes on where it stopped.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)

"$repo/scripts/bootstrap.sh" mirror
# A build folder of its own, without the tests (and what they need). It is
# rebuilt only when a source is newer than the last good build, so a ready
# machine goes straight to the program.
build=$repo/build/mirror
built=$build/.x7-built
if [ ! -f "$built" ] || [ ! -f "$build/x7host.jar" ] || [ ! -f "$build/libx7fenwix.so" ] ||
   [ -n "$(cd "$repo" && find host src include cmake CMakeLists.txt CMakePresets.json -newer "$built" -print -quit)" ]; then
  # Marked before the build starts: a source changed during it is newer still.
  mkdir -p "$build"
  touch "$built.next"
  (cd "$repo" && cmake --preset mirror >/dev/null && cmake --build build/mirror -j"$(nproc)" >/dev/null)
  mv -f "$built.next" "$built"
fi

# The folder the copy goes to, as the program will take it (second plain
# argument, else ./mirror-out), so that we can say where to open it.
out=./mirror-out
plain=0
want_value=0
for a in "$@"; do
  if [ "$want_value" = 1 ]; then want_value=0; continue; fi
  case "$a" in
    --depth|--allow|--port) want_value=1 ;;
    -h|--help) exec java -Djava.library.path="$build" -cp "$build/x7host.jar" Mirror --help ;;
    -?*) ;;
    *) plain=$((plain + 1)); if [ "$plain" = 2 ]; then out=$a; fi ;;
  esac
done

jvm_opts=()
while IFS= read -r o; do jvm_opts+=("$o"); done < <("$repo/scripts/jvm-options.sh")
[ "${#jvm_opts[@]}" -gt 0 ] || exit 1
rc=0
java "${jvm_opts[@]}" -Djava.library.path="$build" -cp "$build/x7host.jar" Mirror "$@" || rc=$?
if [ -d "$out" ] && [ "$rc" -ne 1 ]; then
  echo
  echo "The offline copy is in $(cd "$out" && pwd): open the page named above in a browser;"
  echo "each site part (host and port) has a folder of its own there."
fi
exit "$rc"
