#!/usr/bin/env python3
"""Times whole runs of commands: the median of many starts of each, side by side.

usage: time_runs.py RUNS LABEL=COMMAND [LABEL=COMMAND ...]
Each COMMAND is split on blanks; its output is discarded. Prints one table row
per command with its median and the ratio to the first command (the floor).
"""
import statistics
import subprocess
import sys
import time


def median_seconds(argv, runs):
    samples = []
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
        samples.append(time.perf_counter() - start)
    return statistics.median(samples)


def main():
    runs = int(sys.argv[1])
    rows = [arg.split("=", 1) for arg in sys.argv[2:]]
    floor = None
    print(f"| run | median of {runs} | vs floor |")
    print("|---|---|---|")
    for label, command in rows:
        seconds = median_seconds(command.split(), runs)
        floor = floor or seconds
        print(f"| {label} | {seconds * 1000:.2f} ms | {seconds / floor:.2f}x |")


if __name__ == "__main__":
    main()
