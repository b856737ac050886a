#!/usr/bin/env bash
# B14: a fresh install of 1,000 files of 2-64 KiB from nginx behind a line with a round trip
# of RTT ms and 100 Mbit/s (bench/latency_relay.py), against curl fetching the same copies
# through the same line with `--parallel --parallel-max N`. The relay counts the connections each
# side opened. Runs RUNS paired rounds per round trip and prints pairs.py's table lines.
#
# Usage: bench/latency.sh UPDATE_EXE PUBLISH_EXE   Environment: RUNS (default 3), RTTS (default
# "50 0 150"), CONNECTIONS (default 4), DATA (default /tmp/korvath-bench)
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
update="$(realpath "$1")"
publish="$(realpath "$2")"
runs="${RUNS:-3}"
connections="${CONNECTIONS:-4}"
data="${DATA:-/tmp/korvath-bench}/latency"
command -v nginx >/dev/null || { echo "latency.sh: nginx is needed" >&2; exit 1; }

rm -rf "$data"
mkdir -p "$data/release" "$data/results"
# 1,000 files of 2-64 KiB, half text-like and half noise, in 20 folders.
python3 - "$data/release" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(14)
words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9))) for _ in range(500)]
for i in range(1000):
    size = rng.randint(2 << 10, 64 << 10)
    folder = os.path.join(root, "d%02d" % (i % 20))
    os.makedirs(folder, exist_ok=True)
    if i % 2:
        data = rng.randbytes(size)
    else:
        data = b" ".join(rng.choice(words) for _ in range(size // 4))[:size]
    open(os.path.join(folder, "f%04d.dat" % i), "wb").write(data)
PY
"$publish" build "$data/release" "$data/published" --rev 1 --no-zstd >/dev/null
(cd "$data/published" && find . -name '*.bz2' ! -name files.lst.bz2 | sed 's|^\./||' | sort) >"$data/copies"
echo "B14: $(wc -l <"$data/copies") copies, $(du -cb $(sed "s|^|$data/published/|" "$data/copies") | tail -1 | cut -f1) bytes"

pids=()
stop() {
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
}
trap stop EXIT
free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
wait_for() {
  for _ in $(seq 100); do
    curl -s -o /dev/null "$1" && return 0
    sleep 0.1
  done
  echo "latency.sh: $1 does not answer" >&2
  exit 1
}
nginx_port="$(free_port)"
prefix="$data/nginx"
mkdir -p "$prefix"
sed -e "s|@PORT@|$nginx_port|" -e "s|@ROOT@|$data/published|" -e "s|@PREFIX@|$prefix|" \
  -e "s|@USER@|$(id -un)|" "$repo/tools/publish/nginx.conf" >"$prefix/nginx.conf"
nginx -p "$prefix" -c "$prefix/nginx.conf" &
pids+=($!)
wait_for "http://127.0.0.1:$nginx_port/"

target="$data/target"
export XDG_CONFIG_HOME="$data/config"
for rtt in ${RTTS:-50 0 150}; do
  port="$(free_port)"
  count="$data/connections-$rtt"
  python3 "$repo/bench/latency_relay.py" "$port" "$nginx_port" "$rtt" 100 "$count" &
  pids+=($!)
  url="http://127.0.0.1:$port/"
  wait_for "$url"
  # One curl command line names every copy, each written to its own file.
  config="$data/curl-$rtt.cfg"
  while read -r copy; do printf 'url = "%s%s"\noutput = "%s/curl/%s"\n' "$url" "$copy" "$data" "$copy"; done \
    <"$data/copies" >"$config"
  files=()
  for round in $(seq "$runs"); do
    before="$(cat "$count" 2>/dev/null || echo 0)"
    hyperfine --runs 1 --export-json "$data/results/b14-$rtt-$round-curl.json" \
      --prepare "rm -rf '$data/curl'" \
      -n curl "curl -s --create-dirs --parallel --parallel-max $connections -K '$config'" \
      | grep -E "Time" || true
    curl_connections=$(($(cat "$count") - before))
    before="$(cat "$count")"
    hyperfine --runs 1 --export-json "$data/results/b14-$rtt-$round-ours.json" \
      --prepare "rm -rf '$target' '$XDG_CONFIG_HOME' && mkdir '$target'" \
      -n korvath-update "cd '$target' && '$update' --server '$url' --connections $connections" \
      | grep -E "Time" || true
    echo "B14 rtt $rtt ms round $round: connections curl $curl_connections, korvath-update $(($(cat "$count") - before))"
    python3 - "$data/results/b14-$rtt-$round-curl.json" "$data/results/b14-$rtt-$round-ours.json" \
      "$data/results/b14-$rtt-$round.json" <<'PY'
import json, sys
a, b = (json.load(open(p)) for p in sys.argv[1:3])
json.dump({"results": a["results"] + b["results"]}, open(sys.argv[3], "w"))
PY
    files+=("$data/results/b14-$rtt-$round.json")
  done
  diff -rq "$data/release" "$target" >/dev/null || { echo "latency.sh: the install differs from the release" >&2; exit 1; }
  python3 "$repo/bench/pairs.py" "B14 install at ${rtt} ms" korvath-update curl "<=" 1.3 "${files[@]}"
done
