#!/usr/bin/env bash
# B7: a client at one release updated to the next, with patches against without. The first
# release is made by make_client.py, the next by edit_release.py (5% of the files changed by
# small edits, one new file); the next is published twice, with --base <first release> and
# without, each served by an nginx of its own, so the two roads differ only in the patches.
# Every round starts from the client at the first release (copied, then brought to revision 1
# by an update against the first release's own folder) and runs both roads back to back
# (hyperfine); after the rounds one more update per road counts the bytes the server sent
# (nginx's access log), and one more patched update has its peak private memory sampled
# (peak_memory.py). Each road's result must be the next release, byte for byte.
#
# Usage: bench/patches.sh UPDATE_EXE PUBLISH_EXE
# Environment: RUNS (default 3), DATA (default /tmp/korvath-bench), FILES and TOTAL_BYTES (the
# client of make_client.py, default 2000 files of 1 GiB).
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
update="$(realpath "$1")"
publish="$(realpath "$2")"
runs="${RUNS:-3}"
files="${FILES:-2000}"
total="${TOTAL_BYTES:-1073741824}"
data="${DATA:-/tmp/korvath-bench}/patches-$files-$total"
old="$data/release-old" new="$data/release-new"
mkdir -p "$data/results"

if [ ! -f "$old.done" ]; then
  rm -rf "$old" && python3 "$repo/bench/make_client.py" "$old" --files "$files" --total-bytes "$total"
  touch "$old.done"
fi
if [ ! -f "$new.done" ]; then
  rm -rf "$new" && python3 "$repo/bench/edit_release.py" "$old" "$new"
  touch "$new.done"
fi
# publish NAME RELEASE REV [ARGS...]
publish() {
  local name="$1" release="$2" rev="$3"
  shift 3
  [ -f "$data/pub-$name.done" ] && return 0
  rm -rf "$data/pub-$name"
  "$publish" build "$release" "$data/pub-$name" --rev "$rev" --critical 'system/**' --no-zstd "$@" | tail -2
  touch "$data/pub-$name.done"
}
publish old "$old" 1
publish plain "$new" 2
publish patched "$new" 2 --base "$old"

# One nginx per published folder; port_NAME holds its port.
pids=()
stop_servers() { for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done; }
trap stop_servers EXIT
for name in old plain patched; do
  port="$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
  prefix="$data/nginx-$name"
  mkdir -p "$prefix"
  sed -e "s|@PORT@|$port|" -e "s|@ROOT@|$data/pub-$name|" -e "s|@PREFIX@|$prefix|" -e "s|@USER@|$(id -un)|" \
    "$repo/tools/publish/nginx.conf" >"$prefix/nginx.conf"
  nginx -p "$prefix" -c "$prefix/nginx.conf" &
  pids+=($!)
  declare "port_$name=$port"
  for _ in $(seq 100); do curl -sf -o /dev/null "http://127.0.0.1:$port/files.lst.bz2" && break; sleep 0.1; done
done
url() { local var="port_$1"; echo "http://127.0.0.1:${!var}/"; }

game="$data/game"
export XDG_CONFIG_HOME="$data/config"
prepare="rm -rf '$game' '$XDG_CONFIG_HOME' && mkdir '$game' && cp -a --reflink=auto '$old/.' '$game/' && cd '$game' && '$update' --server '$(url old)' >/dev/null && sync"
road() { echo "cd '$game' && '$update' --server '$(url "$1")' >/dev/null"; }
same_as_new() { diff -rq "$new" "$game" >/dev/null || { echo "patches.sh: the $1 update differs from the release" >&2; exit 1; }; }

echo "B7: load before $(cut -d' ' -f1-3 /proc/loadavg)"
jsons=()
for round in $(seq "$runs"); do
  hyperfine --runs 1 --export-json "$data/results/b7-$round.json" --prepare "$prepare" \
    -n without "$(road plain)" -n patches "$(road patched)" | grep -E "Time|Benchmark" || true
  jsons+=("$data/results/b7-$round.json")
done
same_as_new patched
echo "B7: load after $(cut -d' ' -f1-3 /proc/loadavg)"
time_line="$(python3 "$repo/bench/pairs.py" "B7 update by patches" patches without "<=" 0.6 "${jsons[@]}")"

# sent NAME: the body bytes the road's server sent for one update from the first release.
sent() {
  bash -c "$prepare"
  : >"$data/nginx-$1/access.log"
  bash -c "$(road "$1")"
  same_as_new "$1"
  sleep 1  # nginx writes a request's line after its answer
  awk -F'"' '{split($3, f, " "); s += f[2]} END {print s + 0}' "$data/nginx-$1/access.log"
}
without_bytes="$(sent plain)"
patch_bytes="$(sent patched)"
bash -c "$prepare"
memory="$(cd "$game" && python3 "$repo/bench/peak_memory.py" -- "$update" --server "$(url patched)")"
same_as_new patched

echo "$time_line"
echo "B7 bytes sent: patches $patch_bytes, without $without_bytes, ratio" \
  "$(python3 -c "print(f'{$patch_bytes / $without_bytes:.4f}')") (target <= 0.10);" \
  "patched update: $memory"
