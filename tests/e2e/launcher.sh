#!/usr/bin/env bash
# End to end: Korvath.exe under Wine on the X display it is given (tests/win/gui-run makes
# one), in a scratch game folder, against a loopback update server. A player's session: the
# first run brings the folder up to date and stores "AtRevision"; Full Check restores a deleted
# file; START starts system\qx.exe and the window closes. Screenshots are kept as artefacts.
#
# Usage: launcher.sh KORVATH_EXE QX_MARKER_EXE ARTIFACT_FOLDER
set -uo pipefail
korvath="$(realpath "$1")" marker="$(realpath "$2")" artifacts="$(realpath -m "$3")"
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
art="$(dirname "$korvath")/../forms/art"
python=/usr/bin/python3
mkdir -p "$artifacts"
work="$(mktemp -d /tmp/korvath-e2e.XXXXXX)"
game="$work/game"
server_pid="" korvath_pid=""

fail() {
  echo "launcher e2e: FAIL: $*" >&2
  [ -n "${DISPLAY:-}" ] && import -window root "$artifacts/launcher-failure.png" 2>/dev/null
  exit 1
}
reg_key() { echo "HKLM\\Software\\Wow6432Node\\Korvath\\Z:${work//\//\\}"; }
cleanup() {
  [ -n "$korvath_pid" ] && kill "$korvath_pid" 2>/dev/null
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
  "$repo/scripts/wine-run" reg delete "$(reg_key)" /f >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
# Polls a condition for up to $1 seconds.
wait_for() {
  local seconds="$1"
  shift
  for _ in $(seq $((seconds * 4))); do
    "$@" && return 0
    sleep 0.25
  done
  return 1
}

# ---- a release on a loopback server
mkdir -p "$game/system" "$work/release/data"
cp "$marker" "$game/system/qx.exe"
head -c 70000 /dev/urandom >"$work/release/game.dat"
printf 'map data %.0s' $(seq 500) >"$work/release/data/map.pak"
"$python" - "$work/release" <<'PY' || fail "cannot publish the release"
import bz2, hashlib, os, sys
root = sys.argv[1]
def entry(rel):
    data = open(os.path.join(root, rel), "rb").read()
    open(os.path.join(root, rel) + ".bz2", "wb").write(bz2.compress(data))
    return "%s|%s|%d" % (rel.replace("/", "\\"), hashlib.md5(data).hexdigest(), len(data))
text = ("[settings]\r\nRev|3\r\nModHosts|0\r\n[/settings]\r\n"
        "[files_critical]\r\n" + entry("game.dat") + "\r\n[/files_critical]\r\n"
        "[files_normal]\r\n" + entry("data/map.pak") + "\r\n[/files_normal]\r\n")
open(os.path.join(root, "files.lst.bz2"), "wb").write(bz2.compress(text.encode()))
PY
# A second release whose one file arrives slowly, for closing the window during a run.
mkdir -p "$work/release/slow"
head -c 300000 /dev/urandom >"$work/release/slow/big.dat"
"$python" - "$work/release/slow" <<'PY' || fail "cannot publish the slow release"
import bz2, hashlib, sys
root = sys.argv[1]
data = open(root + "/big.dat", "rb").read()
open(root + "/big.dat.bz2", "wb").write(bz2.compress(data))
text = ("[settings]\r\nRev|4\r\nModHosts|0\r\n[/settings]\r\n[files_critical]\r\nbig.dat|%s|%d\r\n"
        "[/files_critical]\r\n" % (hashlib.md5(data).hexdigest(), len(data)))
open(root + "/files.lst.bz2", "wb").write(bz2.compress(text.encode()))
PY
"$python" - "$work/release" "$work/port" "$work/requests.log" <<'PY' &
import functools, http.server, sys, time
class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass
    def send_head(self):
        with open(sys.argv[3], "a") as log:
            log.write(self.path + "\n")
        return super().send_head()
    def copyfile(self, source, target):
        slow = self.path.endswith("/big.dat.bz2")
        while True:
            block = source.read(4096)
            if not block:
                break
            target.write(block)
            if slow:
                target.flush()
                time.sleep(0.1)
handler = functools.partial(Quiet, directory=sys.argv[1])
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
server.handle_error = lambda request, address: None  # a client that goes away mid-answer
open(sys.argv[2], "w").write(str(server.server_address[1]))
server.serve_forever()
PY
server_pid=$!
wait_for 10 test -s "$work/port" || fail "the update server did not start"
base="http://127.0.0.1:$(cat "$work/port")/"

# ---- the first run
cd "$game" || fail "no game folder"
KORVATH_UPDATE_SERVER="$base" KORVATH_NEWS_URL="${base}updater" "$repo/scripts/wine-run" "$korvath" &
korvath_pid=$!
window=""
find_window() { window="$(xdotool search --name '^Korvath$' 2>/dev/null | head -n1)"; [ -n "$window" ]; }
wait_for 60 find_window || fail "the window did not appear"
at_revision() {
  "$repo/scripts/wine-run" reg query "$(reg_key)\\game\\Settings" /v AtRevision 2>/dev/null | grep -qiE 'AtRevision +REG_DWORD +0x3'
}
wait_for 90 at_revision || fail "AtRevision was not stored as 3"
cmp -s "$work/release/game.dat" "$game/game.dat" || fail "game.dat was not installed"
cmp -s "$work/release/data/map.pak" "$game/data/map.pak" || fail "data\\map.pak was not installed"
[ ! -e "$game/files.lst" ] && [ ! -e "$game/files.lst.bz2" ] || fail "the run left its list behind"
sleep 1  # the final status and the buttons come back right after the revision
eval "$(xdotool getwindowgeometry --shell "$window")"
left=$X top=$Y
shot="$artifacts/launcher-after-first-run.png"
import -window root "$shot" || fail "no screenshot"

# ---- what the screenshot shows: the skin where the window is, the screen where it is cut away
pixel() { convert "$1" -format "%[fx:int(255*p{$2,$3}.r)],%[fx:int(255*p{$2,$3}.g)],%[fx:int(255*p{$2,$3}.b)]" info:; }
screen_bg="$(pixel "$shot" 2 2)"
for spot in "400 300" "30 20" "300 492" "400 3" "120 570"; do
  set -- $spot
  [ "$(pixel "$shot" $((left + $1)) $((top + $2)))" = "$(pixel "$art/fmain_skin.bmp" "$1" "$2")" ] ||
    fail "the skin does not show at ($1, $2)"
done
for spot in "2 300" "797 300" "0 0" "30 4" "799 598" "400 597"; do
  set -- $spot
  [ "$(pixel "$shot" $((left + $1)) $((top + $2)))" = "$screen_bg" ] || fail "($1, $2) is not cut away"
done

# ---- Full Check restores a deleted file
rm -f "$game/data/map.pak"
xdotool mousemove $((left + 625)) $((top + 519)) sleep 0.3 click 1
restored() { cmp -s "$work/release/data/map.pak" "$game/data/map.pak"; }
wait_for 60 restored || fail "Full Check did not restore data\\map.pak"
sleep 1
xdotool mousemove $((left + 400)) $((top + 300))
sleep 0.5
import -window root "$artifacts/launcher-after-full-check.png"

# ---- START starts the game and closes the window
xdotool mousemove $((left + 734)) $((top + 535)) sleep 0.3 click 1
wait_for 30 test -s "$game/system/qx-started.txt" || fail "START did not start system\\qx.exe"
grep -q 'system\\qx.exe' "$game/system/qx-started.txt" || fail "the game got another command line"
closed() { ! kill -0 "$korvath_pid" 2>/dev/null; }
wait_for 30 closed || fail "the window did not close"
korvath_pid=""

# ---- closing the window in the middle of a run ends the program at once
rm -f "$game/system/qx-started.txt"
KORVATH_UPDATE_SERVER="${base}slow/" KORVATH_NEWS_URL="${base}updater" "$repo/scripts/wine-run" "$korvath" &
korvath_pid=$!
wait_for 60 find_window || fail "the window did not appear again"
downloading() { grep -q "slow/big.dat.bz2" "$work/requests.log"; }
wait_for 60 downloading || fail "the slow run did not start"
sleep 1
import -window root "$artifacts/launcher-during-run.png"
xdotool mousemove $((left + 625)) $((top + 548)) sleep 0.3 click 1
wait_for 20 closed || fail "Cancel during a run did not end the program"
korvath_pid=""
echo "launcher e2e: pass (screenshots in $artifacts)"
