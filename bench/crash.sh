#!/usr/bin/env bash
# Crash consistency, the long run: korvath-update is killed with SIGKILL at 200 points of runs
# that replace files of every size (tiny to 4 MiB) from a slowed loopback server; then the Windows
# build is ended by "taskkill /F" under Wine at 20 points. After every stop each game file must be
# its old or its new version, and the next whole run must leave exactly the release. Prints the
# kills, violations and runtime of each; exits non-zero on any violation.
# Usage: bench/crash.sh [KILLS] [WINE_KILLS]   (defaults 200 and 20; 0 skips that part)
# Build folders: CRASH_BUILD (default build/crash), CRASH_WIN_BUILD (default build/crash-win64).
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
kills="${1:-200}"
wine_kills="${2:-20}"
jobs="${JOBS:-2}"
native="${CRASH_BUILD:-$repo/build/crash}"
status=0

cmake -S "$repo" -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$native" -j "$jobs" --target crash_harness korvath-update >/dev/null
harness="$native/tests/crash/crash_harness"

if [ "$kills" -gt 0 ]; then
  echo "== native: SIGKILL at $kills points"
  "$harness" --program "$native/cli/korvath-update" --kills "$kills" || status=1
fi

if [ "$wine_kills" -gt 0 ]; then
  win="${CRASH_WIN_BUILD:-$repo/build/crash-win64}"
  cmake -S "$repo" -B "$win" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVATH_TESTS=OFF \
    -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-x86_64.cmake" >/dev/null
  cmake --build "$win" -j "$jobs" --target korvath-update >/dev/null
  # A prefix of its own: taskkill ends every process of the program's name in its prefix, and
  # none of the test suite's may be among them.
  export KORVATH_WINEPREFIX="${CRASH_WINEPREFIX:-$repo/build/crash-wineprefix}"
  "$repo/scripts/wine-run" cmd /c exit >/dev/null 2>&1 || true
  WINEPREFIX="$KORVATH_WINEPREFIX" /usr/lib/wine/wineserver -p 60 >/dev/null 2>&1 || true
  echo "== Wine: taskkill /F at $wine_kills points"
  # Slower than natively: starting taskkill under Wine takes a good part of a second.
  "$harness" --program "$win/cli/korvath-cli.exe" --kills "$wine_kills" --rate 2000 --wine "$repo" || status=1
  WINEPREFIX="$KORVATH_WINEPREFIX" /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
fi
exit "$status"
