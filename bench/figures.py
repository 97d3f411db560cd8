#!/usr/bin/env python3
"""The figures of scripts/bench, from what its runs left, against their
targets; exits 1 when a target is missed.

    bench/figures.py start-up SCRATCH PROGRAM DYNAMIC STATIC NULL KIB DKIB SKIB
    bench/figures.py emulated SCRATCH MACHINE PROGRAM NULL
    bench/figures.py tree SECONDS KIB BYTES
    bench/figures.py guest BENCH_TXT KERNEL

SCRATCH holds hyperfine's CSV exports, one a round: times-<round>.csv for
this machine's programs, <machine>-<round>.csv for another machine's under
emulation. A figure is the median over the rounds of each round's median
(or of each round's ratio), as a shared machine drifts between rounds more
than the programs differ.
"""
import csv
import pathlib
import statistics
import sys

# What each figure must be at most.
TARGETS = {
    "start-up / dynamic C program": 1.5,
    "start-up / null-report C program": 1.2,
    "system calls per node": 20,
    "asleep / awake": 1.2,
}


def verdict(figure, value):
    return "met" if value <= TARGETS[figure] else "MISSED"


def all_met(figures):
    """Whether each figure, by its name in TARGETS, is within its target."""
    return all(value <= TARGETS[figure] for figure, value in figures.items())


def rounds(scratch, series):
    """Each round's median time of each command, in seconds."""
    found = []
    for path in sorted(pathlib.Path(scratch).glob(f"{series}-*.csv")):
        with open(path, newline="") as export:
            found.append({row["command"]: float(row["median"]) for row in csv.DictReader(export)})
    if not found:
        raise SystemExit(f"figures: no rounds {series}-*.csv in {scratch}")
    return found


def median_ms(runs, command):
    return statistics.median(r[command] for r in runs) * 1000


def ratio(runs, command, baseline):
    return statistics.median(r[command] / r[baseline] for r in runs)


def start_up(scratch, program, dynamic, static, null, kib, dkib, skib):
    runs = rounds(scratch, "times")
    kib, dkib, skib = float(kib), float(dkib), float(skib)
    pd, ps, pn = ratio(runs, program, dynamic), ratio(runs, program, static), ratio(runs, program, null)
    print(f"camera-info (static): median {median_ms(runs, program):.3f} ms, peak resident memory {kib / 1024:.2f} MiB")
    print(f"a C program that returns 0: dynamic {median_ms(runs, dynamic):.3f} ms, {dkib / 1024:.2f} MiB; "
          f"static {median_ms(runs, static):.3f} ms, {skib / 1024:.2f} MiB")
    print(f"a static C program that only writes the null report: {median_ms(runs, null):.3f} ms")
    print(f"start-up / dynamic C program: {pd:.2f} (target <= 1.5) {verdict('start-up / dynamic C program', pd)}")
    print(f"start-up / static C program:  {ps:.2f} (as close to 1 as can be)")
    print(f"start-up / null-report C program: {pn:.2f} (target <= 1.2) "
          f"{verdict('start-up / null-report C program', pn)}")
    print(f"peak memory / static C program: {kib / skib:.2f}")
    return all_met({"start-up / dynamic C program": pd, "start-up / null-report C program": pn})


def emulated(scratch, machine, program, null):
    runs = rounds(scratch, machine)
    print(f"{machine}: camera-info {median_ms(runs, program):.1f} ms, the null-report C program "
          f"{median_ms(runs, null):.1f} ms: {ratio(runs, program, null):.2f} (medians of {len(runs)} rounds)")
    return True


def tree(seconds, kib, size):
    seconds, kib, size = float(seconds), float(kib), float(size)
    print(f"report {size / 1048576:.1f} MiB; run {seconds:.2f} s, peak resident memory {kib / 1024:.1f} MiB "
          f"= {kib * 1024 / size:.2f} times the report")
    return True


def guest(bench_txt, kernel):
    """The guest's lines: "time NAME MS" and "calls PROGRAM INSTANCES COUNT"."""
    times, calls = {}, {}
    for line in pathlib.Path(bench_txt).read_text().splitlines():
        fields = line.split()
        if fields[:1] == ["time"]:
            times[fields[1]] = float(fields[2]) / 1000
        elif fields[:1] == ["calls"]:
            calls[fields[1], int(fields[2])] = int(fields[3])
    most = max(instances for _, instances in calls)
    per = {p: (calls[p, most] - calls[p, 1]) / (most - 1) for p in ("camera-info", "v4l2-ctl", "querycap")}
    asleep = times["asleep"] / times["awake"]
    print(f"{kernel}, 31 rounds each")
    print(f"system calls per node: camera-info {per['camera-info']:.1f} (target <= 20) "
          f"{verdict('system calls per node', per['camera-info'])}; v4l2-ctl {per['v4l2-ctl']:.1f}; "
          f"open and VIDIOC_QUERYCAP alone {per['querycap']:.1f}")
    print(f"run time (median): camera-info {times['camera-info']:.1f} ms, v4l2-ctl {times['v4l2-ctl']:.1f} ms, "
          f"open and VIDIOC_QUERYCAP alone {times['querycap']:.1f} ms")
    print(f"camera-info with the cameras asleep {times['asleep']:.1f} ms / awake {times['awake']:.1f} ms: "
          f"{asleep:.2f} (target <= 1.2) {verdict('asleep / awake', asleep)}")
    return all_met({"system calls per node": per["camera-info"], "asleep / awake": asleep})


COMMANDS = {"start-up": (start_up, 8), "emulated": (emulated, 4), "tree": (tree, 3), "guest": (guest, 2)}

if __name__ == "__main__":
    command, arguments = (sys.argv[1], sys.argv[2:]) if len(sys.argv) > 1 else ("", [])
    if command not in COMMANDS or len(arguments) != COMMANDS[command][1]:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(0 if COMMANDS[command][0](*arguments) else 1)
