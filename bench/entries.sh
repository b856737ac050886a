#!/usr/bin/env bash
# B10: the peak private memory of one korvath-update run over a list of 200,000 entries whose
# files are all in place already, so that the run holds the whole list, checks every digest and
# fetches nothing. The files are tiny (what is measured is the memory a list entry costs, not
# the digests' time); the list is written here, not by korvath-publish, so that making it takes
# seconds. Prints peak_memory.py's line for every round and the median.
#
# Usage: bench/entries.sh UPDATE_EXE [ENTRIES]   Environment: RUNS (default 3), DATA (default
# /tmp/korvath-bench)
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
update="$(realpath "$1")"
entries="${2:-200000}"
runs="${RUNS:-3}"
data="${DATA:-/tmp/korvath-bench}/entries-$entries"

if [ ! -f "$data/done" ]; then
  rm -rf "$data"
  mkdir -p "$data/target" "$data/served"
  python3 - "$data" "$entries" <<'PY'
import bz2, hashlib, os, sys
data, count = sys.argv[1], int(sys.argv[2])
lines = ["[settings]", "Rev|1", "ModHosts|0", "[/settings]", "[hosts]", "[/hosts]",
         "[self]", "[/self]", "[files_critical]", "[/files_critical]", "[files_normal]"]
for i in range(count):
    folder = f"data/f{i // 1000:03d}"
    name = f"{folder}/file{i:06d}.dat"
    content = f"content of file {i}\n".encode()
    os.makedirs(os.path.join(data, "target", folder), exist_ok=True)
    with open(os.path.join(data, "target", name), "wb") as f:
        f.write(content)
    lines.append(f"{name.replace('/', chr(92))}|{hashlib.md5(content).hexdigest()}|40")
lines.append("[/files_normal]")
with open(os.path.join(data, "served", "files.lst.bz2"), "wb") as f:
    f.write(bz2.compress(("\r\n".join(lines) + "\r\n").encode(), 9))
PY
  touch "$data/done"
fi

port="$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
python3 -m http.server --bind 127.0.0.1 --directory "$data/served" "$port" >/dev/null 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null || true' EXIT
url="http://127.0.0.1:$port/"
for _ in $(seq 100); do curl -sf -o /dev/null "${url}files.lst.bz2" && break; sleep 0.1; done

export XDG_CONFIG_HOME="$data/config"
peaks=()
for _ in $(seq "$runs"); do
  rm -rf "$XDG_CONFIG_HOME"
  line="$(cd "$data/target" && python3 "$repo/bench/peak_memory.py" -- "$update" --server "$url")"
  echo "B10 round: $line"
  peaks+=("$(echo "$line" | sed 's/.*rss_anon_kib=\([0-9]*\).*/\1/')")
done
median="$(printf '%s\n' "${peaks[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p")"
echo "B10 peak private memory, $entries entries in place: median RssAnon $median KiB ($((median / 1024)) MiB)"
