#!/usr/bin/env python3
"""The case files of tests/kernel (their language is in run-cases): read
into what a guest is told to make and the report it must bring back, and
the verdict on what it brought.

    cases.py makes WORD CASE...         whether any case has a device line WORD
    cases.py prepare CASE RUN SERIES    RUN/job/job (config, cameras, graphs) and
                                        RUN/expected: the report on SERIES ("6.1")
    cases.py check CASE RUN MACHINE     the verdict on RUN/result; 0 if it holds
"""
import difflib
import pathlib
import re
import shlex
import sys

# Each device line's word, and how many arguments it takes (at least, at most).
DEVICES = {
    "vivid": (1, 2),
    "loopback": (1, 1),
    "uvc": (3, 3),
    "uvc-function": (1, 1),
    "vimc": (0, 0),
    "graph": (1, 1),
    "swap-nodes": (2, 2),
    "udev-links": (0, 0),
    "autosuspend": (0, 0),
    "no-media-nodes": (0, 0),
    "bench": (0, 0),
}


class CaseError(Exception):
    pass


def parse(case_file):
    """The device lines as (word, arguments), and the reports: "" for the
    report on every series, "X.Y" for one series' own."""
    devices, reports, report = [], {}, None
    for line in pathlib.Path(case_file).read_text().splitlines():
        series = re.fullmatch(r"report for ([0-9]+\.[0-9]+):", line)
        if series:
            report = reports.setdefault(series.group(1), [])
            continue
        if report is not None:
            # No line of a report starts with "#": comments may stand between reports.
            if not line.startswith("#"):
                report.append(line)
            continue
        if not line or line.startswith("#"):
            continue
        if line == "report:":
            report = reports.setdefault("", [])
            continue
        word, *arguments = shlex.split(line)
        least, most = DEVICES.get(word, (None, None))
        if least is None or not least <= len(arguments) <= most:
            raise CaseError(f"unknown line in {case_file}: {line}")
        devices.append((word, arguments))
    return devices, reports


def prepare(case_file, run, series):
    run = pathlib.Path(run)
    job = run / "job" / "job"
    try:
        devices, reports = parse(case_file)
    except CaseError as error:
        (run / "error").write_text(f"{error}\n")
        return 1
    config = {"VIVID_N": "0", "VIVID_TYPES": "0x1", "LOOPBACK_CAPS": "", "UVC_N": 0, "VIMC": "no", "GRAPHS": 0,
              "SWAPS": "", "UDEV_LINKS": "no", "AUTOSUSPEND": "no", "NO_MEDIA_NODES": "no", "BENCH": "no"}
    flags = {"vimc": "VIMC", "udev-links": "UDEV_LINKS", "autosuspend": "AUTOSUSPEND",
             "no-media-nodes": "NO_MEDIA_NODES", "bench": "BENCH"}
    for word, arguments in devices:
        if word == "vivid":
            config["VIVID_N"] = arguments[0]
            config["VIVID_TYPES"] = arguments[1] if len(arguments) > 1 else "0x1"
        elif word == "loopback":
            caps = arguments[0].removeprefix("exclusive_caps=")
            config["LOOPBACK_CAPS"] += ("," if config["LOOPBACK_CAPS"] else "") + caps
        elif word == "uvc":
            camera = job / "uvc" / str(config["UVC_N"])
            camera.mkdir(parents=True)
            (camera / "idVendor").write_text(f"0x{arguments[0]}")
            (camera / "idProduct").write_text(f"0x{arguments[1]}")
            if arguments[2] != "-":
                (camera / "product").write_text(arguments[2])
            config["UVC_N"] += 1
        elif word == "uvc-function":
            (job / "uvc" / str(config["UVC_N"] - 1) / "function").write_text(arguments[0])
        elif word == "graph":
            (job / "graphs" / str(config["GRAPHS"])).write_text(arguments[0])
            config["GRAPHS"] += 1
        elif word == "swap-nodes":
            config["SWAPS"] += f" {arguments[0]}:{arguments[1]}"
        else:
            config[flags[word]] = "yes"
    config["SWAPS"] = f'"{config["SWAPS"]}"'
    (job / "config").write_text("".join(f"{name}={value}\n" for name, value in config.items()))
    # The series' own report where it has one; the others are kept apart.
    for name, lines in reports.items():
        if name and name != series:
            (run / f"expected-{name}").write_text("".join(f"{line}\n" for line in lines))
    expected = reports.get(series, reports.get("", []))
    (run / "expected").write_text("".join(f"{line}\n" for line in expected))
    return 0


def check(case_file, run, machine):
    run = pathlib.Path(run)
    result = run / "result"
    meta = result / "meta"
    name = pathlib.Path(case_file).name.removesuffix(".case")

    def text(path):
        return path.read_text(errors="replace") if path.exists() else ""

    def joined(path):
        return "".join(f"{line};" for line in text(path).splitlines())

    problems = []
    if (run / "error").exists():
        problems.append(text(run / "error").strip())
    elif not (meta / "rc").exists():
        problems.append(f"the guest brought nothing back ({text(run / 'timing').strip()}; "
                        f"console kept in build/kernel-{machine}/runs/{name})")
    else:
        rc = text(meta / "rc").strip()
        if rc != "0":
            problems.append(f"exit status {rc}")
        if text(meta / "stdout"):
            problems.append("it wrote to standard output")
        if text(meta / "stderr"):
            problems.append("it wrote to standard error")
        files = sorted(path.name for path in (result / "files").iterdir()) if (result / "files").is_dir() else []
        if files != ["CameraInfo.txt"]:
            problems.append("files written: " + "".join(f"{file} " for file in files))
        report = result / "files" / "CameraInfo.txt"
        if not report.exists() or report.read_bytes() != (run / "expected").read_bytes():
            problems.append("the report differs")
        if (meta / "warnings").exists():
            problems.append(f"the devices did not all come up: {joined(meta / 'warnings')}")
        # A camera asleep before the run must be asleep after it, never having
        # been woken in between: the same state, the same time spent active.
        before, after = meta / "asleep-before", meta / "asleep-after"
        if before.exists() and (not after.exists() or before.read_bytes() != after.read_bytes()):
            problems.append(f"the program woke a camera: before {joined(before)} after {joined(after)}")
    if not problems:
        print(f"kernel: ok: {name} ({text(run / 'timing').strip()})")
        return 0
    print(f"kernel: FAILED: {name}: " + "".join(f"{problem}; " for problem in problems))
    report = result / "files" / "CameraInfo.txt"
    if report.exists():
        differences = difflib.unified_diff(text(run / "expected").splitlines(), text(report).splitlines(),
                                           "expected", "written", lineterm="")
        for line in list(differences)[:40]:
            print(f"    {line}")
    for line in text(meta / "devices.txt").splitlines():
        print(f"    guest: {line}")
    return 1


def makes(word, case_files):
    return 0 if any(word == device for case in case_files for device, _ in parse(case)[0]) else 1


def main(argv):
    command, arguments = (argv[1], argv[2:]) if len(argv) > 1 else ("", [])
    try:
        if command == "makes" and len(arguments) >= 2:
            return makes(arguments[0], arguments[1:])
        if command == "prepare" and len(arguments) == 3:
            return prepare(*arguments)
        if command == "check" and len(arguments) == 3:
            return check(*arguments)
    except CaseError as error:
        print(f"kernel: {error}", file=sys.stderr)
        return 2
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
