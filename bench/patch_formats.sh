#!/usr/bin/env bash
# Compares ways of publishing a release's changed files as patches from the previous release:
# zstd --patch-from (long-range matching, a high level), xdelta3 and bsdiff, against the changed
# files' bzip2 -9 copies that a client fetches without patches. Per tool: the total patch bytes,
# the time to make and to apply all of them, and the peak memory (max RSS) of making and applying
# one. Tools that are missing are skipped. Every applied patch is checked against the new file.
#
# Usage: bench/patch_formats.sh [DATA]   (default /tmp/korvath-patch-formats)
# Environment: FILES, TOTAL_BYTES (the client of make_client.py, default 2000 files of 1 GiB).
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
data="$(realpath -m "${1:-/tmp/korvath-patch-formats}")"
files="${FILES:-2000}"
total="${TOTAL_BYTES:-1073741824}"
old="$data/release-old" new="$data/release-new" work="$data/work"

if [ ! -f "$old.done" ]; then
  rm -rf "$old" && python3 "$repo/bench/make_client.py" "$old" --files "$files" --total-bytes "$total"
  touch "$old.done"
fi
if [ ! -f "$new.done" ]; then
  rm -rf "$new" && python3 "$repo/bench/edit_release.py" "$old" "$new"
  touch "$new.done"
fi
mapfile -t changed <"$new.changed"

# measure LOG FUNCTION ARGS...: appends "seconds peak_kib" of the (exported) function to LOG.
measure() {
  local log="$1"
  shift
  /usr/bin/time -f '%e %M' -a -o "$log" bash -c '"$@"' measure "$@" >/dev/null 2>&1
}
# sum LOG / peak LOG: the total seconds and the largest peak (MiB) of the lines in LOG.
sum() { awk '{s += $1} END {printf "%.1f", s}' "$1"; }
peak() { awk '$2 > m {m = $2} END {printf "%.0f", m / 1024}' "$1"; }

bz2_bytes=0
for p in "${changed[@]}"; do
  bz2_bytes=$((bz2_bytes + $(bzip2 -9 -c "$new/$p" | wc -c)))
done

# Each tool: a name, its program, and how it makes (BASE NEW PATCH) and applies (BASE PATCH OUT).
zstd_make() { zstd -q -f -19 --long=31 --patch-from="$1" "$2" -o "$3"; }
zstd_apply() { zstd -q -f -d --long=31 --patch-from="$1" "$2" -o "$3"; }
zstd3_make() { zstd -q -f -3 --long=31 --patch-from="$1" "$2" -o "$3"; }
zstd3_apply() { zstd_apply "$@"; }
# xdelta3's source window is cut to 64 MiB unless told otherwise; it is made to cover the base.
xdelta_make() { xdelta3 -e -9 -f -B "$(( $(stat -c %s "$1") > 16777216 ? $(stat -c %s "$1") : 16777216 ))" -s "$1" "$2" "$3"; }
xdelta_apply() { xdelta3 -d -f -B "$(( $(stat -c %s "$1") > 16777216 ? $(stat -c %s "$1") : 16777216 ))" -s "$1" "$2" "$3"; }
bsdiff_make() { bsdiff "$1" "$2" "$3"; }
bsdiff_apply() { bspatch "$1" "$3" "$2"; }
export -f zstd_make zstd_apply zstd3_make zstd3_apply xdelta_make xdelta_apply bsdiff_make bsdiff_apply

rows=()
for tool in zstd:zstd zstd3:zstd xdelta:xdelta3 bsdiff:bsdiff; do
  name="${tool%%:*}" program="${tool#*:}"
  command -v "$program" >/dev/null || { echo "patch_formats: $program missing, $name skipped"; continue; }
  rm -rf "$work" && mkdir -p "$work"
  bytes=0
  for p in "${changed[@]}"; do
    patch="$work/patch" out="$work/out"
    measure "$work/make.log" "${name}_make" "$old/$p" "$new/$p" "$patch"
    measure "$work/apply.log" "${name}_apply" "$old/$p" "$patch" "$out"
    cmp -s "$out" "$new/$p" || { echo "patch_formats: $name did not rebuild $p" >&2; exit 1; }
    bytes=$((bytes + $(stat -c %s "$patch")))
  done
  rows+=("$(printf '%-8s %12d %8.4f %8s %8s %9s %9s' "$name" "$bytes" \
    "$(python3 -c "print($bytes / $bz2_bytes)")" "$(sum "$work/make.log")" "$(sum "$work/apply.log")" \
    "$(peak "$work/make.log")" "$(peak "$work/apply.log")")")
  echo "${rows[-1]}"
done
rm -rf "$work"

echo
echo "${#changed[@]} changed files of $files (load $(cut -d' ' -f1-3 /proc/loadavg)); their bzip2 -9 copies: $bz2_bytes bytes"
printf '%-8s %12s %8s %8s %8s %9s %9s\n' tool patch_bytes vs_bz2 make_s apply_s make_MiB apply_MiB
printf '%s\n' "${rows[@]}"
