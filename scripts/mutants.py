#!/usr/bin/env python3
"""The mutation run over tests/mutants.toml, in a copy of the sources that
scripts/mutants provisioned and built: each mutant's edits are made, what
can catch it is run (the host suite, or for a fault only a real driver shows
the kernel stage's guests) and the copy is put back.

    scripts/mutants.py check                 every edit's text stands once in its file
    scripts/mutants.py files                 the files the mutants edit
    scripts/mutants.py run COPY [NAME...]    the mutants named, or all
"""
import os
import pathlib
import re
import subprocess
import sys
import tomllib

REPO = pathlib.Path(__file__).resolve().parent.parent
TABLE = REPO / "tests" / "mutants.toml"


def mutants():
    with open(TABLE, "rb") as table:
        return tomllib.load(table)["mutant"]


def problems(root):
    """What keeps the table from applying to the sources under `root`."""
    found, names = [], set()
    for mutant in mutants():
        if mutant["name"] in names:
            found.append(f"{mutant['name']}: named twice")
        names.add(mutant["name"])
        for edit in mutant["edit"]:
            places = (root / edit["file"]).read_text().count(edit["from"])
            if places != 1:
                found.append(f"{mutant['name']}: its text stands {places} times in {edit['file']}, not once")
    return found


def run_suite(copy, mutant, machine, jobs):
    """0 when everything passed, 3 when the mutant did not build, else what failed."""
    def sh(*command, **kwargs):
        return subprocess.run(command, cwd=copy, stdout=log, stderr=subprocess.STDOUT, **kwargs).returncode
    log = open(copy.parent / f"{mutant['name']}.log", "w")
    with log:
        if mutant.get("guest"):
            if sh("cmake", "--preset", "release", "-DCAMERA_INFO_WERROR=OFF") or \
                    sh("cmake", "--build", "--preset", "release", "-j", jobs):
                return 3
            return sh(str(REPO / "tests/kernel/run-cases"), machine, str(copy / "build/release/camera-info"))
        if sh("cmake", "--build", "--preset", "default", "-j", jobs):
            return 3
        return sh("ctest", "--preset", "default", "--timeout", "60")


def catchers(log_text):
    """The tests or guest cases that failed, as the log of a run names them."""
    found = re.findall(r"[0-9]+ - ([a-z_0-9]+) \(|kernel: FAILED: ([a-z0-9-]+)", log_text)
    return " ".join(test or f"guest case {case}" for test, case in found)


def run(copy, wanted, machine, jobs):
    copy = pathlib.Path(copy)
    caught = survived = broken = 0
    status = 0
    for mutant in mutants():
        name = mutant["name"]
        if wanted and name not in wanted:
            continue
        originals = {}
        for edit in mutant["edit"]:
            path = copy / edit["file"]
            originals.setdefault(path, path.read_text())
            path.write_text(path.read_text().replace(edit["from"], edit["to"], 1))
        try:
            outcome = run_suite(copy, mutant, machine, jobs)
        finally:
            for path, text in originals.items():
                path.write_text(text)
        log = (copy.parent / f"{name}.log").read_text(errors="replace")
        if outcome == 0:
            if mutant.get("equivalent"):
                print(f"survived (equivalent, no test can tell): {name}")
            else:
                print(f"SURVIVED: {name}")
                survived += 1
                status = 1
        elif outcome == 3:
            # A mutant that does not build proves nothing: the table must be mended.
            print(f"mutants: {name} does not build (see build/mutants/{name}.log)", file=sys.stderr)
            status = 2
        elif "Timeout" in log:
            # A test that ran out of time caught nothing: it hung, which is a
            # fault of the tests themselves.
            print(f"BROKEN (a test timed out, which is no catch): {name} (see build/mutants/{name}.log)")
            broken += 1
            status = 1
        else:
            print(f"caught: {name} (by {catchers(log)})")
            caught += 1
        sys.stdout.flush()
    print(f"mutants: {caught} caught, {survived} survived, {broken} broken")
    return status


def main(argv):
    if argv[1:2] == ["check"]:
        found = problems(REPO)
        for problem in found:
            print(f"mutants: {problem}")
        if not found:
            print(f"every edit of the {len(mutants())} mutants applies once")
        return 1 if found else 0
    if argv[1:2] == ["files"]:
        print("\n".join(sorted({edit["file"] for mutant in mutants() for edit in mutant["edit"]})))
        return 0
    if argv[1:2] == ["run"] and len(argv) >= 3:
        found = problems(pathlib.Path(argv[2]))
        if found:
            print("\n".join(f"mutants: {problem}" for problem in found), file=sys.stderr)
            return 2
        return run(argv[2], set(argv[3:]), os.environ["CAMERA_INFO_MACHINE"], os.environ.get("CAMERA_INFO_JOBS", "2"))
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
