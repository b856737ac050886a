#!/usr/bin/env bash
# B15 and B16: fresh installs from a release published with zstd copies (korvath-publish build's
# default) against the same release published with bzip2 copies only (--no-zstd), each served by
# an nginx of its own on loopback:
#   B15  the client of make_client.py (FILES files of TOTAL_BYTES, default 2,000 of 1 GiB):
#        time ratio zstd / bzip2, target <= 0.35.
#   B16  one BIG_BYTES file (default 1 GiB) per kind of BIG_KINDS (default "noise text"): time
#        ratio, target <= 0.25, and the peak private memory of korvath-update installing it from
#        the zstd release (bench/peak_memory.py: the larger of RssAnon and Private_Dirty), target
#        <= 64 MiB.
# Rounds as in bench/run.sh: hyperfine --runs 1 per round, bzip2 first, zstd last; each install
# must be the release, byte for byte. After the rounds one more zstd install has the requests
# of its server counted (nginx's access log): how many copies of each format the client fetched,
# which says whether the client took the zstd copies at all. Prints the table lines (B15
# install..., B16 install..., B16 peak private...) and one bytes line per release: the .zst
# copies against the .bz2 copies.
# A korvath-publish without --no-zstd publishes bzip2 alone either way: both roads are then the
# same and the ratios near 1 (said on a line of its own).
#
# Usage: bench/zstd_copies.sh B15|B16 UPDATE_EXE PUBLISH_EXE
# Environment: RUNS (default 3), DATA (default /tmp/korvath-bench), FILES, TOTAL_BYTES,
# BIG_BYTES, BIG_KINDS. Small sizes for a quick try: FILES=200 TOTAL_BYTES=134217728 (a client
# always has one file of 100 MiB) or BIG_BYTES=33554432.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
which="$1"
update="$(realpath "$2")"
publish="$(realpath "$3")"
runs="${RUNS:-3}"
root="${DATA:-/tmp/korvath-bench}"
data="$root/zstd"
mkdir -p "$data/results"
export XDG_CONFIG_HOME="$data/config"
target="$data/target"

command -v nginx >/dev/null || { echo "zstd_copies.sh: nginx is needed" >&2; exit 1; }
no_zstd=(--no-zstd)
publisher="zstd"  # what the publisher writes, kept in the .done marker of what it published
if ! "$publish" build --help 2>&1 | grep -q -- '--no-zstd'; then
  no_zstd=()
  publisher="bzip2 only"
  echo "$which: korvath-publish has no --no-zstd: both releases are bzip2 only" >&2
fi

# release NAME SHARED MAKE_CLIENT_ARGS...: the release folder, published twice (pub-NAME-zstd
# with korvath-publish's default, pub-NAME-bzip2 with --no-zstd), again when published by a
# publisher that wrote bzip2 alone and now writes zstd. The same client made by bench/run.sh
# (DATA/release-SHARED) is linked rather than made again.
release() {
  local name="$1" shared="$root/release-$2"
  shift 2
  if [ ! -f "$data/release-$name.done" ]; then
    rm -rf "$data/release-$name"
    if [ -f "$shared.done" ]; then
      cp -al "$shared" "$data/release-$name"
    else
      python3 "$repo/bench/make_client.py" "$data/release-$name" "$@"
    fi
    touch "$data/release-$name.done"
  fi
  local critical=()
  [ -d "$data/release-$name/system" ] && critical=(--critical 'system/**')
  for road in zstd bzip2; do
    local pub="$data/pub-$name-$road" options=()
    [ "$road" = zstd ] || options=("${no_zstd[@]}")
    [ "$(cat "$pub.done" 2>/dev/null)" = "$publisher" ] && continue
    rm -rf "$pub"
    "$publish" build "$data/release-$name" "$pub" --rev 1 "${critical[@]}" "${options[@]}" >/dev/null
    echo "$publisher" >"$pub.done"
  done
}

# serve NAME: one nginx per published folder; port_zstd and port_bzip2 hold their ports.
pids=()
stop_servers() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  pids=()
}
trap stop_servers EXIT
serve() {
  local port prefix
  for road in zstd bzip2; do
    port="$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
    prefix="$data/nginx-$road"
    mkdir -p "$prefix"
    sed -e "s|@PORT@|$port|" -e "s|@ROOT@|$data/pub-$1-$road|" -e "s|@PREFIX@|$prefix|" \
      -e "s|@USER@|$(id -un)|" "$repo/tools/publish/nginx.conf" >"$prefix/nginx.conf"
    nginx -p "$prefix" -c "$prefix/nginx.conf" &
    pids+=($!)
    declare -g "port_$road=$port"
    for _ in $(seq 100); do curl -sf -o /dev/null "http://127.0.0.1:$port/files.lst.bz2" && break; sleep 0.1; done
  done
}
url() { local var="port_$1"; echo "http://127.0.0.1:${!var}/"; }
install() { echo "cd '$target' && '$update' --server '$(url "$1")' >/dev/null"; }
prepare="rm -rf '$target' '$XDG_CONFIG_HOME' && mkdir '$target' && sync"
same_as_release() {
  diff -rq "$data/release-$1" "$target" >/dev/null ||
    { echo "zstd_copies.sh: the $2 install differs from the release" >&2; exit 1; }
}
steal() { awk '/^cpu /{print $9}' /proc/stat; }

# rounds LABEL NAME TARGET: RUNS paired rounds of the two installs, then the table line.
rounds() {
  local label="$1" name="$2" goal="$3" jsons=() before
  before="$(steal)"
  echo "$label: load before $(cut -d' ' -f1-3 /proc/loadavg)" >&2
  for round in $(seq "$runs"); do
    hyperfine --runs 1 --export-json "$data/results/$name-$round.json" --prepare "$prepare" \
      -n bzip2 "$(install bzip2)" -n zstd "$(install zstd)" | grep -E "Time|Benchmark" >&2 || true
    jsons+=("$data/results/$name-$round.json")
  done
  same_as_release "$name" zstd
  echo "$label: load after $(cut -d' ' -f1-3 /proc/loadavg); host stole" \
    "$((($(steal) - before) / $(getconf CLK_TCK))) CPU seconds" >&2
  python3 "$repo/bench/pairs.py" "$label" zstd bzip2 "<=" "$goal" "${jsons[@]}"
}

# fetched NAME: one more zstd install, and the copies of each format its server was asked for.
fetched() {
  bash -c "$prepare"
  : >"$data/nginx-zstd/access.log"
  bash -c "$(install zstd)"
  same_as_release "$1" zstd
  sleep 1  # nginx writes a request's line after its answer
  local zst bz2
  zst="$(grep -c '\.zst HTTP' "$data/nginx-zstd/access.log" || true)"
  bz2="$(grep -v 'files\.lst\.bz2' "$data/nginx-zstd/access.log" | grep -c '\.bz2 HTTP' || true)"
  echo "the zstd install fetched $zst .zst and $bz2 .bz2 copies"
}

# copy_bytes NAME: the .zst copies of the zstd release against the .bz2 copies of the bzip2 one.
copy_bytes() {
  local zst bz2
  zst="$(find "$data/pub-$1-zstd" -name '*.zst' -printf '%s\n' | awk '{s += $1} END {print s + 0}')"
  bz2="$(find "$data/pub-$1-bzip2" -name '*.bz2' ! -name 'files.lst.bz2' -printf '%s\n' |
    awk '{s += $1} END {print s + 0}')"
  echo ".zst copies $zst bytes, .bz2 copies $bz2 bytes, ratio $(python3 -c "print(f'{$zst / $bz2:.3f}' if $zst else 'none')")"
}

case "$which" in
  B15)
    files="${FILES:-2000}"
    total="${TOTAL_BYTES:-1073741824}"
    name="client-$files-$total"
    shared="$files"
    [ "$total" = 1073741824 ] || shared="none"
    release "$name" "$shared" --files "$files" --total-bytes "$total"
    serve "$name"
    line="$(rounds "B15 install, zstd copies" "$name" 0.35)"
    seen="$(fetched "$name")"
    stop_servers
    echo "$line"
    echo "B15 bytes: $(copy_bytes "$name"); $seen"
    ;;
  B16)
    big="${BIG_BYTES:-1073741824}"
    for kind in ${BIG_KINDS:-noise text}; do
      name="big-$kind-$big"
      release "$name" "$name" --files 1 --kind "$kind" --total-bytes "$big"
      serve "$name"
      line="$(rounds "B16 install one $kind file" "$name" 0.25)"
      seen="$(fetched "$name")"
      peaks=()
      for _ in $(seq "$runs"); do
        bash -c "$prepare"
        peaks+=("$(cd "$target" && python3 "$repo/bench/peak_memory.py" -- "$update" --server "$(url zstd)")")
        echo "B16 $kind: ${peaks[-1]}" >&2
      done
      same_as_release "$name" zstd
      stop_servers
      # The median run's peak, the larger of RssAnon and Private_Dirty, as B5 counts it.
      kib="$(printf '%s\n' "${peaks[@]}" |
        sed 's/.*rss_anon_kib=\([0-9]*\) private_dirty_kib=\([0-9]*\).*/\1 \2/' |
        awk '{print ($1 > $2 ? $1 : $2)}' | sort -n | sed -n "$(((runs + 1) / 2))p")"
      mib="$(python3 -c "print(f'{$kib / 1024:.1f}')")"
      echo "$line"
      printf '%-28s %9s %9s %7s %7s   %-8s %-4s %s\n' "B16 peak private MiB, $kind" "$mib" "" "" "" \
        "<= 64" "$(python3 -c "print('yes' if $mib <= 64 else 'NO')")" "median of $runs zstd installs"
      echo "B16 bytes, $kind: $(copy_bytes "$name"); $seen"
    done
    ;;
  *)
    echo "usage: zstd_copies.sh B15|B16 UPDATE_EXE PUBLISH_EXE" >&2
    exit 2
    ;;
esac
