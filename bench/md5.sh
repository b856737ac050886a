#!/usr/bin/env bash
# Times FileDigest against OpenSSL's MD5 over the same mapped file and against md5sum, on a
# 256 MiB random file held in the page cache, and prints the throughput ratios of the medians.
# Usage: bench/md5.sh [BUILD_FOLDER]   (a Release build with md5_bench built; default build/bench)
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$repo/build/bench}"
bench="$build/bench/md5_bench"
runs="${RUNS:-10}"
if [ ! -x "$bench" ]; then
  echo "md5.sh: $bench is missing; build it first:" >&2
  echo "  cmake -S $repo -B $build -G Ninja -DCMAKE_BUILD_TYPE=Release && cmake --build $build --target md5_bench" >&2
  exit 1
fi

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
data="$tmp/data.bin"
head -c $((256 << 20)) /dev/urandom >"$data"
cat "$data" >/dev/null  # the timings are of hashing, not of the disk

# A faster wrong answer is worth nothing: all three must agree first.
ours="$("$bench" filedigest "$data" | cut -d' ' -f1)"
theirs="$("$bench" openssl "$data" | cut -d' ' -f1)"
tool="$(md5sum "$data" | cut -d' ' -f1)"
if [ "$ours" != "$theirs" ] || [ "$ours" != "$tool" ]; then
  echo "md5.sh: digests differ: filedigest $ours, openssl $theirs, md5sum $tool" >&2
  exit 1
fi

json="$build/md5-bench.json"
hyperfine --shell=none --warmup 2 --runs "$runs" --export-json "$json" \
  --command-name filedigest "$bench filedigest $data" \
  --command-name openssl "$bench openssl $data" \
  --command-name md5sum "md5sum $data"

jq -r '
  (.results | map({(.command): .median}) | add) as $m
  | "median seconds: filedigest \($m.filedigest), openssl \($m.openssl), md5sum \($m.md5sum)",
    "throughput filedigest / openssl: \($m.openssl / $m.filedigest * 1000 | round / 1000)",
    "throughput filedigest / md5sum:  \($m.md5sum / $m.filedigest * 1000 | round / 1000)",
    "filedigest MB/s: \(256 * 1048576 / $m.filedigest / 1e6 | round)"' "$json"
echo "results: $json"
