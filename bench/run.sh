#!/usr/bin/env bash
# Runs the benchmarks of checking and installing a client, each against its baseline of standard
# tools in the same hyperfine command, and prints a table of ratios of the medians:
#   B1 MD5          FileDigest vs OpenSSL's MD5 on a 256 MiB file (bench/md5.sh)
#   B2 full check   korvath-update --full-check vs md5sum over the same files (warm cache)
#   B3 install      korvath-update into an empty folder vs curl -s -o f.bz2 URL && bzip2 -d f.bz2
#                   per file (bench/seq_install.sh)
#   B4 hand-off     the B3 install with the synchronized calls handed to an owner thread
#                   (TCallQueue) vs run inline (TDirectSynchronizer): bench/handoff_bench
#   B5 memory       peak RssAnon / Private_Dirty of korvath-update installing one 1 GiB file
#   B6 scaling      B2 and B3 with 200, 2,000 and 20,000 files of 1 GiB in all
#   B7 patches      korvath-update from one release to the next (5% of 2,000 files changed by
#                   small edits, one new) with patches vs without: time, bytes the server sent,
#                   peak private memory (bench/patches.sh)
#   B8 one large    korvath-update installing a client of one BIG_BYTES file (noise, then text)
#      file         vs lbzip2 -dc -n2 decoding its published copy
#   B9 publishing   korvath-publish build of that one-file release vs lbzip2 -9 -n2 on the file;
#      one file     its copy must decode with bzip2 -d to the file's bytes
#   B10 entries     peak RssAnon of korvath-update over a list of 200,000 files all in place
#                   (bench/entries.sh)
#   B11 dropped     korvath-update installing one 300 MiB noise file from a server that closes
#       connections each connection after 16 MiB: bytes sent / compressed size (bench/resume.sh)
#   B12 killed run  a run killed (SIGKILL) at half of that download, then run again: bytes the
#                   second run is sent / compressed size (bench/resume.sh)
#   B13 mirrors     the B3 install from two mirrors (the first holding half the files), the update
#                   server serving the list alone, vs from the update server (bench/mirrors.sh)
#   B14 latency     1,000 small files through a line of 50 (0, 150) ms and 100 Mbit/s, vs curl
#                   --parallel on the same copies (bench/latency.sh)
#   B15 zstd copies korvath-update installing the 2,000-file client published with zstd copies
#                   (korvath-publish's default) vs the same release published with --no-zstd;
#                   also the bytes of the .zst and the .bz2 copies (bench/zstd_copies.sh)
#   B16 zstd, one   the same for a client of one BIG_BYTES file (noise, then text), and the peak
#       large file  private memory of korvath-update installing it from zstd copies
# The clients are made by bench/make_client.py and published by korvath-publish; all but B15
# and B16 publish bzip2 copies alone (--no-zstd), the road every client has. They are served on
# loopback by nginx (or korvath-publish serve where nginx is missing). They are kept in DATA and
# made only once.
# Each comparison runs in rounds: one run of ours and one of the baseline back to back per round
# (hyperfine, --runs 1; the baseline first, so that ours leaves its result behind), so that a slow spell of a shared machine falls on both sides of a round.
# The table gives the median times and the median of the rounds' ratios (bench/pairs.py), and
# the CPU time stolen by the host during the benchmark (/proc/stat), which says how noisy it was.
#
# Usage: bench/run.sh [BUILD_DIR]     (default build/bench; configured as the presets build, RelWithDebInfo,
#                                   when missing)
# Environment: RUNS (rounds per comparison, default 3), DATA (default /tmp/korvath-bench),
#              ONLY (say "B2 B3" to run some of them; B6 includes B2 and B3),
#              BIG_BYTES (the file of B8, B9 and B16, default 1 GiB), BIG_KINDS (its content, default
#              "noise text").
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(realpath -m "${1:-$repo/build/bench}")"
runs="${RUNS:-3}"
data="${DATA:-/tmp/korvath-bench}"
only="${ONLY:-B1 B2 B3 B4 B5 B6 B7 B8 B9 B10 B11 B12 B13 B14 B15 B16}"
big_bytes="${BIG_BYTES:-1073741824}"
wants() { [[ " $only " == *" $1 "* ]]; }

for tool in hyperfine jq curl bzip2 md5sum python3; do
  command -v "$tool" >/dev/null || { echo "run.sh: $tool is needed" >&2; exit 1; }
done

update="$build/cli/korvath-update"
publish="$build/tools/publish/korvath-publish"
handoff="$build/bench/handoff_bench"
if [ ! -x "$update" ] || [ ! -x "$publish" ] || [ ! -x "$handoff" ] || [ ! -x "$build/bench/md5_bench" ]; then
  [ -f "$build/CMakeCache.txt" ] || cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVATH_TESTS=OFF
  cmake --build "$build" -j2 --target korvath-update korvath-publish handoff_bench md5_bench
fi

mkdir -p "$data/results"
results="$data/results"
config="$data/config"  # the settings store of the runs (XDG_CONFIG_HOME), emptied before each
export XDG_CONFIG_HOME="$config"
table=()
notes=()

load() { cut -d' ' -f1-3 /proc/loadavg; }

# make_set NAME MAKE_CLIENT_ARGS...: the release folder, its path list and its published folder.
make_set() {
  local name="$1"
  shift
  if [ ! -f "$data/release-$name.done" ]; then
    rm -rf "$data/release-$name"
    python3 "$repo/bench/make_client.py" "$data/release-$name" "$@"
    touch "$data/release-$name.done"
  fi
  if [ ! -f "$data/pub-$name.done" ]; then
    rm -rf "$data/pub-$name"
    # The generator's "system" folder holds the critical files; a one-file client has none.
    local critical=()
    [ -d "$data/release-$name/system" ] && critical=(--critical 'system/**')
    "$publish" build "$data/release-$name" "$data/pub-$name" --rev 1 --no-zstd "${critical[@]}" >/dev/null
    touch "$data/pub-$name.done"
  fi
}

# serve NAME: serves pub-NAME on a free loopback port and sets url; stop_server ends it.
server_pid=""
stop_server() {
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
    server_pid=""
  fi
}
trap stop_server EXIT
serve() {
  local root="$data/pub-$1" port
  port="$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
  if command -v nginx >/dev/null; then
    local prefix="$data/nginx"
    mkdir -p "$prefix"
    sed -e "s|@PORT@|$port|" -e "s|@ROOT@|$root|" -e "s|@PREFIX@|$prefix|" -e "s|@USER@|$(id -un)|" \
      "$repo/tools/publish/nginx.conf" >"$prefix/nginx.conf"
    nginx -p "$prefix" -c "$prefix/nginx.conf" &
  else
    "$publish" serve "$root" --port "$port" >/dev/null &
  fi
  server_pid=$!
  url="http://127.0.0.1:$port/"
  for _ in $(seq 100); do
    curl -sf -o /dev/null "${url}files.lst.bz2" && return 0
    sleep 0.1
  done
  echo "run.sh: the server of $root does not answer" >&2
  exit 1
}

# median JSON NAME: the median wall time of a hyperfine command; spread JSON NAME: min..max.
median() { jq -r --arg n "$2" '.results[] | select(.command == $n) | .median' "$1"; }
spread() { jq -r --arg n "$2" '.results[] | select(.command == $n) | "\(.min * 100 | round / 100)..\(.max * 100 | round / 100)"' "$1"; }
ratio() { python3 -c "print(f'{$1 / $2:.3f}')"; }
meets() { python3 -c "print('yes' if $1 $2 else 'NO')"; }
steal() { awk '/^cpu /{print $9}' /proc/stat; }

# rounds LABEL JSON_PREFIX PREPARE OURS_NAME OURS_CMD BASE_NAME BASE_CMD OP TARGET: RUNS paired
# rounds, then a table line.
rounds() {
  local label="$1" prefix="$2" prepare="$3" ours="$4" ours_cmd="$5" base="$6" base_cmd="$7"
  local op="$8" target="$9" files=() before
  before="$(steal)"
  echo "$label: load before $(load)"
  for round in $(seq "$runs"); do
    hyperfine --runs 1 --export-json "$prefix-$round.json" --prepare "$prepare" \
      -n "$base" "$base_cmd" -n "$ours" "$ours_cmd" | grep -E "Time|Benchmark" || true
    files+=("$prefix-$round.json")
  done
  echo "$label: load after $(load); host stole $(( ($(steal) - before) / $(getconf CLK_TCK) )) CPU seconds"
  table+=("$(python3 "$repo/bench/pairs.py" "$label" "$ours" "$base" "$op" "$target" "${files[@]}")")
}

# B2: the full check of an installed copy (hard links to the release) against md5sum. The
# run fetches and unpacks the list, then finds every file in place.
full_check() {
  local name="$1" installed="$data/installed-$1"
  if [ ! -d "$installed" ]; then cp -al "$data/release-$name" "$installed"; fi
  serve "$name"
  # Warm cache: both read the files once before the rounds.
  (cd "$installed" && xargs -d '\n' cat -- <"$data/release-$name.paths" >/dev/null)
  rounds "B2 full check, $name files" "$results/b2-$name" "rm -rf '$config'" \
    korvath-update "cd '$installed' && '$update' --full-check --server '$url'" \
    md5sum "cd '$installed' && xargs -d '\n' md5sum <'$data/release-$name.paths' >/dev/null" "<=" 0.6
  stop_server
}

# B3: a fresh install against curl and bzip2 file by file.
install() {
  local name="$1" target="$data/target"
  serve "$name"
  rounds "B3 fresh install, $name files" "$results/b3-$name" "rm -rf '$target' '$config' && mkdir '$target' && sync" \
    korvath-update "cd '$target' && '$update' --server '$url'" \
    curl+bzip2 "'$repo/bench/seq_install.sh' '$url' '$data/release-$name.paths' '$target'" "<=" 0.6
  # Ours ran last in each round: its install must be the whole release.
  diff -rq "$data/release-$name" "$target" >/dev/null || { echo "run.sh: korvath-update's install differs from the release" >&2; exit 1; }
  stop_server
}

if wants B1; then
  RUNS=$((runs > 5 ? runs : 5)) "$repo/bench/md5.sh" "$build"
  json="$build/md5-bench.json"
  throughput="$(ratio "$(median "$json" openssl)" "$(median "$json" filedigest)")"
  table+=("$(printf '%-28s %9.2f %9.2f %7s %7s   %-8s %-4s %s / %s' "B1 MD5 throughput" \
    "$(median "$json" filedigest)" "$(median "$json" openssl)" "$throughput" "" ">= 0.95" \
    "$(meets "$throughput" ">= 0.95")" "$(spread "$json" filedigest)" "$(spread "$json" openssl)")")
  notes+=("B1: the ratio is of throughputs (OpenSSL's time / FileDigest's); md5sum: $(ratio "$(median "$json" md5sum)" "$(median "$json" filedigest)")")
fi

sizes=()
wants B6 && sizes=(200 2000 20000)
{ wants B2 || wants B3 || wants B4; } && [[ " ${sizes[*]} " != *" 2000 "* ]] && sizes+=(2000)
for n in "${sizes[@]}"; do
  make_set "$n" --files "$n"
  if wants B2 || wants B6; then full_check "$n"; fi
  if wants B3 || wants B6; then install "$n"; fi
done

if wants B4; then
  make_set 2000 --files 2000
  serve 2000
  rounds "B4 hand-off, 2000 files" "$results/b4" "rm -rf '$data/target' && mkdir '$data/target' && sync" \
    owner-thread "cd '$data/target' && '$handoff' queue '$url'" \
    inline "cd '$data/target' && '$handoff' inline '$url'" "<=" 1.03
  (cd "$data/target" && rm -rf ./* && "$handoff" queue "$url" 2>&1 >/dev/null | tail -1) | sed 's/^/B4: /'
  stop_server
fi

if wants B5; then
  make_set 1 --files 1 --kind noise
  serve 1
  peaks=()
  for _ in $(seq "$runs"); do
    rm -rf "$data/target" "$config" && mkdir "$data/target"
    line="$(cd "$data/target" && python3 "$repo/bench/peak_memory.py" -- "$update" --server "$url")"
    echo "B5: $line"
    peaks+=("$line")
  done
  stop_server
  anon="$(printf '%s\n' "${peaks[@]}" | sed 's/.*rss_anon_kib=\([0-9]*\).*/\1/' | sort -n | sed -n "$(((runs + 1) / 2))p")"
  dirty="$(printf '%s\n' "${peaks[@]}" | sed 's/.*private_dirty_kib=\([0-9]*\).*/\1/' | sort -n | sed -n "$(((runs + 1) / 2))p")"
  mib="$(python3 -c "print(f'{max($anon, $dirty) / 1024:.1f}')")"
  table+=("$(printf '%-28s %9s %9s %7s %7s   %-8s %-4s RssAnon %s KiB, Private_Dirty %s KiB' "B5 peak private MiB" \
    "$mib" "" "" "" "<= 64" "$(meets "$mib" "<= 64")" "$anon" "$dirty")")
fi

if wants B7; then
  b7="$(DATA="$data" RUNS="$runs" "$repo/bench/patches.sh" "$update" "$publish" | tee /dev/stderr)"
  table+=("$(grep '^B7 update by patches' <<<"$b7")")
  notes+=("$(grep '^B7 bytes sent' <<<"$b7")")
fi

if wants B10; then
  line="$(DATA="$data" RUNS="$runs" "$repo/bench/entries.sh" "$update" | tail -1)"
  echo "$line"
  notes+=("$line")
fi

if wants B11; then
  line="$(DATA="$data" RUNS="$runs" "$repo/bench/resume.sh" B11 "$update" "$publish" | tail -1)"
  echo "$line"
  notes+=("$line")
fi

if wants B12; then
  line="$(DATA="$data" RUNS="$runs" "$repo/bench/resume.sh" B12 "$update" "$publish" | tail -1)"
  echo "$line"
  notes+=("$line")
fi

if wants B13; then
  make_set 2000 --files 2000
  line="$(DATA="$data" RUNS="$runs" "$repo/bench/mirrors.sh" "$update" "$data/release-2000" "$data/pub-2000" | tee /dev/stderr | tail -1)"
  table+=("$line")
fi

if wants B14; then
  while read -r line; do table+=("$line"); done < <(DATA="$data" RUNS="$runs" \
    "$repo/bench/latency.sh" "$update" "$publish" | tee /dev/stderr | grep '^B14 install')
fi

if wants B15; then
  b15="$(DATA="$data" RUNS="$runs" "$repo/bench/zstd_copies.sh" B15 "$update" "$publish" | tee /dev/stderr)"
  table+=("$(grep '^B15 install' <<<"$b15")")
  notes+=("$(grep '^B15 bytes' <<<"$b15")")
fi

if wants B16; then
  b16="$(DATA="$data" RUNS="$runs" BIG_BYTES="$big_bytes" "$repo/bench/zstd_copies.sh" B16 "$update" \
    "$publish" | tee /dev/stderr)"
  while read -r line; do table+=("$line"); done < <(grep -E '^B16 (install|peak)' <<<"$b16")
  while read -r line; do notes+=("$line"); done < <(grep '^B16 bytes' <<<"$b16")
fi

# The one file of a one-file client, relative to its release folder.
only_file() { (cd "$data/release-$1" && find . -type f | sed 's|^\./||'); }

for kind in ${BIG_KINDS:-noise text}; do
  { wants B8 || wants B9; } || break
  command -v lbzip2 >/dev/null || { echo "run.sh: lbzip2 is needed for B8 and B9" >&2; exit 1; }
  name="big-$kind-$big_bytes"
  make_set "$name" --files 1 --kind "$kind" --total-bytes "$big_bytes"
  file="$(only_file "$name")"
  if wants B8; then
    serve "$name"
    rounds "B8 install one $kind file" "$results/b8-$kind" "rm -rf '$data/target' '$config' '$data/b8-out' && mkdir '$data/target' && sync" \
      korvath-update "cd '$data/target' && '$update' --server '$url'" \
      lbzip2-dc "lbzip2 -dc -n2 '$data/pub-$name/$file.bz2' >'$data/b8-out'" "<=" 1.15
    stop_server
    cmp -s "$data/release-$name/$file" "$data/target/$file" || { echo "run.sh: the B8 install differs from the release" >&2; exit 1; }
    rm -f "$data/b8-out"
  fi
  if wants B9; then
    rounds "B9 publish one $kind file" "$results/b9-$kind" "rm -rf '$data/b9-pub' && sync" \
      korvath-publish "'$publish' build '$data/release-$name' '$data/b9-pub' --rev 1 --no-zstd >/dev/null" \
      lbzip2-9 "lbzip2 -9 -n2 -c '$data/release-$name/$file' >'$data/b9.bz2'" "<=" 1.2
    bzip2 -dc "$data/b9-pub/$file.bz2" | cmp -s - "$data/release-$name/$file" || { echo "run.sh: bzip2 -d does not give back the B9 file" >&2; exit 1; }
    notes+=("B9 $kind: korvath-publish's copy $(stat -c %s "$data/b9-pub/$file.bz2") bytes, lbzip2's $(stat -c %s "$data/b9.bz2")")
    rm -rf "$data/b9-pub" "$data/b9.bz2"
  fi
done

echo
echo "Medians of $runs paired rounds on $(nproc) cores (load now $(load)); wall = median of the rounds' ours/base"
echo "ratios (B1: throughput ratio of the medians); cpu = ratio of the median (user + system) times"
printf '%-28s %9s %9s %7s %7s   %-8s %-4s %s\n' benchmark ours_s base_s wall cpu target met "spread"
printf '%s\n' "${table[@]}"
for note in "${notes[@]}"; do echo "$note"; done
