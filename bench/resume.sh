#!/usr/bin/env bash
# B11 and B12: downloads that go on where they stopped, measured in the bytes the server sent
# for a client of one incompressible file (RESUME_BYTES, default 300 MiB), served by
# bench/flaky_server.py:
#   B11  the server closes every connection after 16 MiB of body: one korvath-update run completes,
#        and the server sent at most 1.05 x the file's compressed size.
#   B12  a run is killed (SIGKILL) once half of the compressed file is on disk (the server holds
#        its pace to 64 MiB/s so that the half can be caught), then run again: the second run is
#        sent at most 0.55 x the compressed size.
# Every round ends with the installed file compared to the release's (cmp). Prints one line per
# round and the median ratio of sent / compressed bytes.
#
# Usage: bench/resume.sh B11|B12 UPDATE_EXE PUBLISH_EXE   Environment: RUNS (default 3), DATA
# (default /tmp/korvath-bench), RESUME_BYTES
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
which="$1"
update="$(realpath "$2")"
publish="$(realpath "$3")"
runs="${RUNS:-3}"
bytes="${RESUME_BYTES:-314572800}"
data="${DATA:-/tmp/korvath-bench}"
release="$data/release-resume-$bytes"
pub="$data/pub-resume-$bytes"
mib=$((1024 * 1024))

if [ ! -f "$pub.done" ]; then
  rm -rf "$release" "$pub"
  python3 "$repo/bench/make_client.py" "$release" --files 1 --kind noise --total-bytes "$bytes"
  "$publish" build "$release" "$pub" --rev 1 --no-zstd >/dev/null
  touch "$pub.done"
fi
file="$(cd "$release" && find . -type f | sed 's|^\./||')"
compressed="$(stat -c %s "$pub/$file.bz2")"
target="$data/resume-target"
counter="$data/resume-sent"
export XDG_CONFIG_HOME="$data/resume-config"

server=""
stop_server() {
  if [ -n "$server" ]; then
    kill "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
    server=""
  fi
}
trap stop_server EXIT
start_server() {
  local port
  port="$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
  python3 "$repo/bench/flaky_server.py" "$pub" "$port" "$counter" "$@" &
  server=$!
  url="http://127.0.0.1:$port/"
  for _ in $(seq 100); do curl -sf -o /dev/null "${url}files.lst.bz2" && return 0; sleep 0.1; done
  echo "resume.sh: the server does not answer" >&2
  exit 1
}
sent() { cut -d' ' -f1 "$counter" 2>/dev/null || echo 0; }
requests() { cut -d' ' -f2 "$counter" 2>/dev/null || echo 0; }

ratios=()
for round in $(seq "$runs"); do
  rm -rf "$target" "$XDG_CONFIG_HOME" "$counter"
  mkdir -p "$target"
  case "$which" in
    B11)
      start_server --drop-every $((16 * mib))
      before="$(sent)"
      asked="$(requests)"
      (cd "$target" && "$update" --server "$url" >/dev/null)
      ;;
    B12)
      start_server --rate $((64 * mib))
      (cd "$target" && exec "$update" --server "$url" >/dev/null 2>&1) &
      run=$!
      while [ "$(stat -c %s "$target/$file.bz2" 2>/dev/null || echo 0)" -lt $((compressed / 2)) ]; do
        kill -0 "$run" 2>/dev/null || { echo "resume.sh: the run ended before half of its download" >&2; exit 1; }
        sleep 0.02
      done
      kill -KILL "$run"
      wait "$run" 2>/dev/null || true
      kept="$(stat -c %s "$target/$file.bz2")"
      before="$(sent)"
      asked="$(requests)"
      (cd "$target" && "$update" --server "$url" >/dev/null)
      ;;
    *)
      echo "usage: resume.sh B11|B12 UPDATE_EXE PUBLISH_EXE" >&2
      exit 2
      ;;
  esac
  stop_server
  cmp -s "$release/$file" "$target/$file" || { echo "resume.sh: the installed file differs from the release" >&2; exit 1; }
  ratio="$(python3 -c "print(f'{($(sent) - $before) / $compressed:.4f}')")"
  echo "$which round $round: sent $(($(sent) - before)) of $compressed compressed bytes in $(($(requests) - asked)) requests, ratio $ratio${kept:+ (the killed run left $kept bytes)}"
  ratios+=("$ratio")
done
median="$(printf '%s\n' "${ratios[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p")"
case "$which" in
  B11) limit=1.05 ;;
  B12) limit=0.55 ;;
esac
echo "$which bytes sent / compressed size, median of $runs: $median (target <= $limit: $(python3 -c "print('yes' if $median <= $limit else 'NO')"))"
