#!/usr/bin/env python3
"""Writes a realistic game client for the benchmarks: N files (2,000 by default) of 1 GiB in
all, sizes spread on a log scale from 1 KiB to 100 MiB (many small files, a few large ones),
about half of the bytes compressible text-like data and half incompressible noise, in nested
folders. The same seed gives the same client, byte for byte.

Besides the files it writes, next to the release folder, RELEASE_DIR.paths: the relative paths
with "/", one a line, for the baseline scripts.

Usage: make_client.py RELEASE_DIR [--files N] [--total-bytes B] [--seed S] [--kind mixed|text|noise]
"""
import argparse
import math
import os
import random
import sys

MIN_SIZE = 1 << 10
MAX_SIZE = 100 << 20
TOP_FOLDERS = ["system", "data", "maps", "sound", "textures", "ui", "music", "lang"]


def spread_sizes(count, total):
    """Sizes min * (max/min)^x with x at evenly spaced quantiles of an exponential distribution
    cut to [0, 1]: both ends are always present, and the rate is chosen so that the sizes add
    up to total. Many small files and a few large ones, evenly spread on a log scale within
    each decade: 2,000 files of 1 GiB have a median near 5 KiB and some 80 files above 1 MiB."""
    if count == 1:
        return [total]
    log_ratio = math.log(MAX_SIZE / MIN_SIZE)

    def sizes(rate):
        scale = -math.expm1(-rate)
        return [int(MIN_SIZE * math.exp(log_ratio * -math.log1p(-(k / (count - 1)) * scale) / rate))
                for k in range(count)]

    low, high = 1e-9, 30.0  # the sum falls as the rate grows
    if not sum(sizes(high)) <= total <= sum(sizes(low)):
        sys.exit(f"make_client: {count} files cannot hold {total} bytes between {MIN_SIZE} and {MAX_SIZE} bytes each")
    for _ in range(200):
        mid = (low + high) / 2
        if sum(sizes(mid)) > total:
            low = mid
        else:
            high = mid
    result = sizes(high)
    # The rounding remainder goes to the files just below the largest one, so the total is exact.
    rest = total - sum(result)
    k = count - 2
    while rest > 0 and k >= 0:
        add = min(rest, MAX_SIZE - result[k])
        result[k] += add
        rest -= add
        k -= 1
    return result


def folder_tree(rng, count):
    """About one folder per twenty files, one to four levels deep, under the usual top folders."""
    folders = list(TOP_FOLDERS)
    target = max(len(TOP_FOLDERS), count // 20)
    while len(folders) < target:
        parent = rng.choice(folders)
        if parent.count("/") >= 3:
            continue
        folders.append(f"{parent}/{rng.choice(['sub', 'pack', 'set', 'part', 'zone'])}{len(folders):04d}")
    return folders


class TextSource:
    """Text-like bytes that bzip2 shrinks to about a third: words of a fixed vocabulary with a
    skewed frequency, in lines of varying length, cut from a pool at random places."""

    def __init__(self, rng):
        letters = "etaoinshrdlcumwfgypbvkjxqz"
        words = []
        for _ in range(4000):
            length = rng.randint(2, 11)
            words.append("".join(rng.choice(letters[: rng.randint(8, 26)]) for _ in range(length)))
        weights = [1.0 / (rank + 1) for rank in range(len(words))]
        lines = []
        size = 0
        while size < (8 << 20):
            line = " ".join(rng.choices(words, weights, k=rng.randint(3, 16))) + "\n"
            lines.append(line)
            size += len(line)
        self.pool = "".join(lines).encode()
        self.rng = rng

    def take(self, size):
        parts = []
        left = size
        while left > 0:
            piece = min(left, self.rng.randint(4 << 10, 256 << 10))
            start = self.rng.randrange(0, len(self.pool) - piece)
            parts.append(self.pool[start : start + piece])
            left -= piece
        return b"".join(parts)


def write_file(path, size, compressible, rng, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        left = size
        while left > 0:
            block = min(left, 4 << 20)
            out.write(text.take(block) if compressible else rng.randbytes(block))
            left -= block


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("release")
    parser.add_argument("--files", type=int, default=2000)
    parser.add_argument("--total-bytes", type=int, default=1 << 30)
    parser.add_argument("--seed", type=int, default=9)
    parser.add_argument("--kind", choices=["mixed", "text", "noise"], default="mixed",
                        help="the content of the files: both kinds (half of the bytes each), or one")
    args = parser.parse_args()

    rng = random.Random(args.seed)
    text = TextSource(random.Random(args.seed + 1))
    sizes = spread_sizes(args.files, args.total_bytes)
    folders = folder_tree(rng, args.files)
    # Sizes in a shuffled order, so that the list mixes small and large files.
    order = list(range(args.files))
    rng.shuffle(order)
    paths = []
    compressible_bytes = 0
    for number, k in enumerate(order):
        folder = rng.choice(folders)
        relative = f"{folder}/f{number:05d}.dat"
        # Alternating kinds by size rank gives each kind about half of the bytes.
        compressible = k % 2 == 0 if args.kind == "mixed" else args.kind == "text"
        compressible_bytes += sizes[k] if compressible else 0
        write_file(os.path.join(args.release, relative), sizes[k], compressible, rng, text)
        paths.append(relative)
    with open(args.release.rstrip("/") + ".paths", "w") as out:
        out.write("".join(p + "\n" for p in paths))
    print(f"make_client: {args.files} files, {sum(sizes)} bytes ({compressible_bytes} compressible), "
          f"{len(folders)} folders, sizes {min(sizes)}..{max(sizes)}")


if __name__ == "__main__":
    main()
