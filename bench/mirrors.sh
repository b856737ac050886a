#!/usr/bin/env bash
# B13: a fresh install of a published client from two mirrors, the update server serving the
# list alone (every file "404 Not Found"), vs the same install from the update server alone.
# The first mirror holds every other file only and answers 404 for the rest, which the second
# serves: what a mirror that answers wrongly costs is in the figure. The list is the published
# one with a [mirrors] section added. All servers are nginx on loopback with the tested
# configuration.
# Runs RUNS paired rounds (the baseline first in each) and prints, last, pairs.py's table line.
#
# Usage: bench/mirrors.sh UPDATE_EXE RELEASE_DIR PUBLISHED_DIR   Environment: RUNS (default 3),
# DATA (default /tmp/korvath-bench)
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
update="$(realpath "$1")"
release="$(realpath "$2")"
published="$(realpath "$3")"
runs="${RUNS:-3}"
data="${DATA:-/tmp/korvath-bench}/mirrors"
command -v nginx >/dev/null || { echo "mirrors.sh: nginx is needed" >&2; exit 1; }

rm -rf "$data"
mkdir -p "$data/list-only" "$data/results"
# Hard links: the first mirror's copies are the published ones, half of them removed.
cp -al "$published" "$data/half"
(cd "$data/half" && find . -name '*.bz2' ! -name files.lst.bz2 | sort | awk 'NR % 2 == 0' |
  xargs -d '\n' rm -f --)

pids=()
stop() {
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
}
trap stop EXIT
# serve NAME ROOT: nginx on a free port for ROOT; sets url.
serve() {
  local prefix="$data/nginx-$1" port
  port="$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
  mkdir -p "$prefix"
  sed -e "s|@PORT@|$port|" -e "s|@ROOT@|$2|" -e "s|@PREFIX@|$prefix|" -e "s|@USER@|$(id -un)|" \
    "$repo/tools/publish/nginx.conf" >"$prefix/nginx.conf"
  nginx -p "$prefix" -c "$prefix/nginx.conf" &
  pids+=($!)
  url="http://127.0.0.1:$port/"
  for _ in $(seq 100); do
    curl -s -o /dev/null "$url" && return 0
    sleep 0.1
  done
  echo "mirrors.sh: the server of $2 does not answer" >&2
  exit 1
}
serve half "$data/half"
first="$url"
serve whole "$published"
second="$url"
serve alone "$published"
alone="$url"
python3 - "$published/files.lst.bz2" "$data/list-only/files.lst.bz2" "$first" "$second" <<'PY'
import bz2, sys
source, target, *mirrors = sys.argv[1:]
text = bz2.decompress(open(source, "rb").read())
text += ("[mirrors]\r\n" + "".join(m + "\r\n" for m in mirrors) + "[/mirrors]\r\n").encode()
open(target, "wb").write(bz2.compress(text, 9))
PY
serve list-only "$data/list-only"
server="$url"

target="$data/target"
export XDG_CONFIG_HOME="$data/config"
files=()
echo "B13: load before $(cut -d' ' -f1-3 /proc/loadavg)"
for round in $(seq "$runs"); do
  hyperfine --runs 1 --export-json "$data/results/b13-$round.json" \
    --prepare "rm -rf '$target' '$XDG_CONFIG_HOME' && mkdir '$target' && sync" \
    -n server-alone "cd '$target' && '$update' --server '$alone'" \
    -n mirrors "cd '$target' && '$update' --server '$server'" | grep -E "Time|Benchmark" || true
  files+=("$data/results/b13-$round.json")
done
echo "B13: load after $(cut -d' ' -f1-3 /proc/loadavg)"
# Ours ran last: its install must be the whole release, with no game file from the update
# server itself.
diff -rq "$release" "$target" >/dev/null || { echo "mirrors.sh: the install differs from the release" >&2; exit 1; }
if grep -v 'files\.lst' "$data/nginx-list-only/access.log" | grep -q '" 200 '; then
  echo "mirrors.sh: the update server sent a game file" >&2
  exit 1
fi
files_asked() { grep -v 'files\.lst' "$data/nginx-$1/access.log" | grep -c '\.bz2 HTTP' || true; }
echo "B13: files asked for per round: first mirror $(($(files_asked half) / runs)), second" \
  "$(($(files_asked whole) / runs)), update server alone $(($(files_asked alone) / runs))"
python3 "$repo/bench/pairs.py" "B13 install from mirrors" mirrors server-alone "<=" 1.1 "${files[@]}"
