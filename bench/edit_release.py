#!/usr/bin/env python3
"""Makes the next release of a client written by make_client.py: a copy of OLD_DIR (hard links for
the files that stay) in which a share of the files (5% by default, always including the largest)
changes by small edits, a few places each with bytes replaced, inserted and removed, and one new
file appears. The same seed gives the same release. Writes NEW_DIR.paths like make_client.py.

Usage: edit_release.py OLD_DIR NEW_DIR [--share 0.05] [--places 3] [--seed S]
"""
import argparse
import os
import random
import shutil


def edit(data, rng, places):
    """Small edits at places spread over the file, applied from the end so that offsets hold."""
    spots = sorted((rng.randrange(len(data) + 1) for _ in range(places * 3)), reverse=True)
    for k, spot in enumerate(spots):
        length = rng.randint(16, 256)
        kind = k % 3
        if kind == 0:  # replaced
            data[spot : spot + length] = rng.randbytes(len(data[spot : spot + length]))
        elif kind == 1:  # inserted
            data[spot:spot] = rng.randbytes(length)
        else:  # removed
            del data[spot : spot + length]
    return data


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("old")
    parser.add_argument("new")
    parser.add_argument("--share", type=float, default=0.05)
    parser.add_argument("--places", type=int, default=3)
    parser.add_argument("--seed", type=int, default=17)
    args = parser.parse_args()

    rng = random.Random(args.seed)
    with open(args.old.rstrip("/") + ".paths") as f:
        paths = f.read().split()
    sizes = {p: os.path.getsize(os.path.join(args.old, p)) for p in paths}
    largest = max(paths, key=sizes.get)
    changed = set(rng.sample(paths, max(1, round(len(paths) * args.share))))
    changed.add(largest)
    changed_bytes = 0
    for p in paths:
        source, target = os.path.join(args.old, p), os.path.join(args.new, p)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        if p in changed:
            with open(source, "rb") as f:
                data = edit(bytearray(f.read()), rng, args.places)
            with open(target, "wb") as f:
                f.write(data)
            changed_bytes += len(data)
        else:
            os.link(source, target)
    new_path = "data/new/added.dat"
    os.makedirs(os.path.dirname(os.path.join(args.new, new_path)), exist_ok=True)
    with open(os.path.join(args.new, new_path), "wb") as f:
        f.write(rng.randbytes(256 << 10))
    with open(args.new.rstrip("/") + ".paths", "w") as f:
        f.write("".join(p + "\n" for p in paths + [new_path]))
    with open(args.new.rstrip("/") + ".changed", "w") as f:
        f.write("".join(p + "\n" for p in sorted(changed)))
    print(f"edit_release: {len(changed)} of {len(paths)} files changed ({changed_bytes} bytes, "
          f"largest {largest}, {sizes[largest]} bytes), 1 added")


if __name__ == "__main__":
    main()
