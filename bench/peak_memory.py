#!/usr/bin/env python3
"""Runs a command and samples its private memory until it ends: RssAnon from /proc/PID/status and
Private_Dirty from /proc/PID/smaps_rollup (anonymous and privately written pages; the page cache
of the files it reads and writes is not counted, unlike in VmRSS). Prints one line:

  rss_anon_kib=PEAK private_dirty_kib=PEAK vm_hwm_kib=PEAK samples=N exit=STATUS

Usage: peak_memory.py [--interval SECONDS] -- COMMAND [ARGS...]
"""
import argparse
import subprocess
import sys
import time


def read_fields(path, names):
    values = {}
    try:
        with open(path) as f:
            for line in f:
                key, _, rest = line.partition(":")
                if key in names:
                    values[key] = int(rest.split()[0])
    except (FileNotFoundError, ProcessLookupError, PermissionError):
        pass
    return values


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--interval", type=float, default=0.005)
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        parser.error("no command given")

    process = subprocess.Popen(command, stdout=subprocess.DEVNULL)
    peak = {"RssAnon": 0, "Private_Dirty": 0, "VmHWM": 0}
    samples = 0
    while process.poll() is None:
        status = read_fields(f"/proc/{process.pid}/status", {"RssAnon", "VmHWM"})
        rollup = read_fields(f"/proc/{process.pid}/smaps_rollup", {"Private_Dirty"})
        for key, value in {**status, **rollup}.items():
            peak[key] = max(peak[key], value)
        samples += 1
        time.sleep(args.interval)
    print(f"rss_anon_kib={peak['RssAnon']} private_dirty_kib={peak['Private_Dirty']} "
          f"vm_hwm_kib={peak['VmHWM']} samples={samples} exit={process.returncode}")
    return 0 if process.returncode == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
