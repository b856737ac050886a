#!/usr/bin/env bash
# The baseline of a fresh install: the same work as the update run, done with standard tools one
# file after the other: fetch and unpack the list, then per file `curl -s -o f.bz2 URL && bzip2 -d
# f.bz2`, making folders as needed.
# Usage: seq_install.sh BASE_URL PATHS_FILE DEST_DIR   (paths with "/", one a line)
set -euo pipefail
base="$1" paths="$2" dest="$3"
cd "$dest"
curl -s -o files.lst.bz2 "${base}files.lst.bz2" && bzip2 -d files.lst.bz2
while IFS= read -r p; do
  dir="${p%/*}"
  [ "$dir" = "$p" ] || [ -d "$dir" ] || mkdir -p "$dir"
  curl -s -o "$p.bz2" "$base$p.bz2" && bzip2 -d "$p.bz2"
done <"$paths"
rm -f files.lst
