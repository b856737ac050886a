#!/usr/bin/env bash
# End to end: Korvath.exe started in a game folder whose options file holds a Boolean that is
# no Boolean. The error box names the value, and once it is dismissed the program goes on: the
# main window stays and its first update run reports its end.
#
# Usage: options.sh KORVATH_EXE ARTIFACT_FOLDER
set -uo pipefail
korvath="$(realpath "$1")" artifacts="$(realpath -m "$2")"
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
mkdir -p "$artifacts"
work="$(mktemp -d /tmp/korvath-options-e2e.XXXXXX)"
game="$work/game"
korvath_pid=""

fail() {
  echo "options e2e: FAIL: $*" >&2
  [ -n "${DISPLAY:-}" ] && import -window root "$artifacts/options-failure.png" 2>/dev/null
  exit 1
}
reg_key() { echo "HKLM\\Software\\Wow6432Node\\Korvath\\Z:${work//\//\\}"; }
cleanup() {
  [ -n "$korvath_pid" ] && kill "$korvath_pid" 2>/dev/null
  "$repo/scripts/wine-run" reg delete "$(reg_key)" /f >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
wait_for() {
  local seconds="$1"
  shift
  for _ in $(seq $((seconds * 4))); do
    "$@" && return 0
    sleep 0.25
  done
  return 1
}
windows() { xdotool search --onlyvisible --name '^Korvath$' 2>/dev/null | wc -l; }

mkdir -p "$game/system"
printf '[Video]\r\nIsKeepMinFrameRate=yes\r\nStartupFullScreen=true\r\n' >"$game/system/option.ini"
cd "$game" || fail "no game folder"
# Nothing listens on the discard port: the update run fails at once and the window goes on.
WINEDEBUG=trace+msgbox KORVATH_UPDATE_SERVER="http://127.0.0.1:9/" \
  KORVATH_NEWS_URL="http://127.0.0.1:9/updater" "$repo/scripts/wine-run" "$korvath" 2>"$work/trace.log" &
korvath_pid=$!
# The main window and, over it, the error box; both are captioned with the program's title.
two() { [ "$(windows)" -ge 2 ]; }
wait_for 60 two || fail "no error box came up"
sleep 1
import -window root "$artifacts/options-bad-boolean.png"
grep -q "'yes' is not a valid boolean value\." "$work/trace.log" ||
  fail "the error box does not say \"'yes' is not a valid boolean value.\""
# The box is the smaller of the two windows; its OK button sits in the middle of its foot.
box=""
for id in $(xdotool search --onlyvisible --name '^Korvath$'); do
  eval "$(xdotool getwindowgeometry --shell "$id")"
  [ "$WIDTH" -lt 700 ] && box="$id" bx=$X by=$Y bw=$WIDTH bh=$HEIGHT
done
[ -n "$box" ] || fail "the error box was not found"
xdotool mousemove $((bx + bw / 2)) $((by + bh - 22)) sleep 0.3 click 1
one() { [ "$(windows)" -eq 1 ]; }
wait_for 20 one || fail "the error box did not close"
sleep 3
kill -0 "$korvath_pid" 2>/dev/null || fail "the program ended after the error"
[ "$(windows)" -eq 1 ] || fail "the main window is gone"
echo "options e2e: pass"
