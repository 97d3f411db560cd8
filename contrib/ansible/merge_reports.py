#!/usr/bin/env python3
"""Merges a fleet run into <reports>/cameras.json, for the fleet playbook.

One process for the whole run, on the controller. It reads on its standard
input what each host of the run gave (see collect-cameras.yml), checks each
report by the one set of rules below, keeps each host's last report or error
under <reports>/hosts/, and writes the merged document of every host of the
inventory: the hosts of this run with what this run gave, every other host
with what it last gave, or as not collected yet.

A report is a camera report only if it is UTF-8 without a byte order mark,
strict JSON (no NaN or Infinity, no member named twice) and either null or
an array of objects whose members are exactly the strings "name", "pid" and
"vid". Anything else lists its host with the reason and spoils nothing: the
merged document is strict JSON whatever the hosts sent.
"""

import base64
import binascii
import datetime
import hashlib
import json
import os
import re
import sys
import tempfile

MEMBERS = ["name", "pid", "vid"]
# Longer file names than this (with ".error") do not fit in most file systems.
NAME_BYTES = 255
# When a report was taken: UTC, ISO 8601, to the second.
TIME_FORMAT = "%Y-%m-%dT%H:%M:%SZ"
TAKEN = re.compile(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ\Z")


class NoReport(Exception):
    """Why what a host sent is no camera report."""


# What stands for itself in a file name: every other byte is written as %XX.
# Capital letters are not among them: where the reports folder folds case
# (exFAT, NTFS, a Mac's APFS), "Lab7" and "lab7" must still be two files.
PLAIN = frozenset(b"abcdefghijklmnopqrstuvwxyz0123456789._-")


def name_bytes(host):
    """The host's name as the inventory held it: bytes that are no UTF-8
    come as lone surrogates, and go back to those bytes."""
    try:
        return host.encode("utf-8", "surrogateescape")
    except UnicodeEncodeError:  # a lone surrogate of another kind
        return host.encode("utf-8", "surrogatepass")


def file_name(host):
    """The host's file name under hosts/, without its ending: the name with
    every byte but small letters, digits, ".", "_" and "-" written as %XX
    with capital hex digits ("." and ".." as %2E and %2E%2E), so that no
    name reaches outside hosts/ or names another's file, not even where the
    file system folds case or normalises Unicode (every name is ASCII, and
    no two differ only in case). A name too long for a file name keeps its
    first bytes and a hash of the whole; "~" (%7E in every other name)
    tells it apart."""
    name = "".join(chr(byte) if byte in PLAIN else "%%%02X" % byte for byte in name_bytes(host))
    if name in (".", ".."):
        name = name.replace(".", "%2E")
    if len(name) + len(".error") <= NAME_BYTES:
        return name
    digest = hashlib.sha256(name_bytes(host)).hexdigest()[:32]
    cut = NAME_BYTES - len(".error") - 1 - len(digest)
    start = name[:cut]
    if "%" in start[-2:]:  # never half of a %XX
        start = start[: start.rindex("%")]
    return start + "~" + digest


def unicode_only(text):
    """The text on one line, with what cannot be written as UTF-8 replaced."""
    return " ".join(text.encode("utf-8", "replace").decode("utf-8").split())


def refuse_constant(name):
    raise NoReport("it is no strict JSON: it holds %s" % name)


def members_once(pairs):
    names = [name for name, _ in pairs]
    if len(set(names)) != len(names):
        raise NoReport("it is no strict JSON: an object names a member twice")
    return dict(pairs)


def camera_report(data, limit):
    """The cameras of a report's bytes, or NoReport with why not."""
    if len(data) > limit:
        raise NoReport("the report is %d bytes, more than the limit of %d" % (len(data), limit))
    if data.startswith(b"\xef\xbb\xbf"):
        raise NoReport("it starts with a byte order mark")
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError as error:
        raise NoReport("it is not UTF-8 (byte %d)" % error.start) from None
    try:
        value = json.loads(text, parse_constant=refuse_constant, object_pairs_hook=members_once)
    except NoReport:
        raise
    except (ValueError, RecursionError) as error:
        raise NoReport("it is no JSON (%s)" % str(error)[:200]) from None
    if value is None:
        return None
    if not isinstance(value, list):
        raise NoReport("it is neither null nor an array")
    for index, camera in enumerate(value):
        if not isinstance(camera, dict) or sorted(camera) != MEMBERS:
            raise NoReport('its element %d is no object of just "name", "pid" and "vid"' % index)
        for member in MEMBERS:
            text = camera[member]
            if not isinstance(text, str):
                raise NoReport('its element %d\'s "%s" is no string' % (index, member))
            try:
                text.encode("utf-8")
            except UnicodeEncodeError:
                raise NoReport('its element %d\'s "%s" is not Unicode' % (index, member)) from None
    return value


def sent_report(stdout):
    """What run-linux.sh or run-windows.ps1 printed: (taken, bytes or None, why)."""
    lines = (stdout or "").splitlines()
    taken = lines[0][len("taken "):].strip() if lines and lines[0].startswith("taken ") else None
    rest = lines[1:] if taken is not None else lines
    if not rest:
        return taken, None, "camera-info's run printed nothing"
    head, body = rest[0].strip(), "".join("".join(rest[1:]).split())
    if head.startswith("error "):
        return taken, None, head[len("error "):]
    try:
        if head == "report base64":
            return taken, base64.b64decode(body, validate=True), None
        if head == "report hex":
            return taken, binascii.unhexlify(body), None
    except (binascii.Error, ValueError):
        return taken, None, "the report was garbled on its way"
    return taken, None, "camera-info's run printed something else: %s" % head[:200]


def now():
    return datetime.datetime.now(datetime.timezone.utc).strftime(TIME_FORMAT)


def stamp(taken):
    """The time `taken` names (UTC), or None where it names none."""
    try:
        return datetime.datetime.strptime(taken, TIME_FORMAT).replace(tzinfo=datetime.timezone.utc).timestamp()
    except (TypeError, ValueError, OverflowError):
        return None


def replace_file(path, data, taken=None):
    """Writes `data` under `path` whole (made beside it, then renamed), with
    the time the report was taken as the file's time."""
    handle, made = tempfile.mkstemp(dir=os.path.dirname(path), prefix=".merge.")
    try:
        with os.fdopen(handle, "wb") as out:
            out.write(data)
        os.chmod(made, 0o644)
        when = stamp(taken) if taken else None
        if when is not None:
            try:
                os.utime(made, (when, when))
            except (OSError, OverflowError):
                pass  # a time the file system cannot keep: the file keeps its own
        os.replace(made, path)
    except BaseException:
        os.unlink(made)
        raise


def remove(path):
    try:
        os.unlink(path)
    except FileNotFoundError:
        pass


def outcome(host, ran, limit):
    """This run's entry for a host of the run, and its report's bytes."""
    taken = now()
    if ran.get("failure"):
        return {"error": ran["failure"], "taken": taken}, None
    if ran.get("unreachable"):
        # Ansible's first sentence says what failed; the rest is advice.
        why = unicode_only(str(ran.get("why") or "")).split(". ")[0].rstrip(".")[:300]
        return {"error": "no report: the host could not be reached" + (" (%s)" % why if why else ""), "taken": taken}, None
    if ran.get("stdout") is None:
        return {"error": "no report: the run stopped before camera-info ran", "taken": taken}, None
    sent, data, why = sent_report(ran["stdout"])
    # A time of the right shape that is no date (month 13) is no time either.
    if sent and TAKEN.match(sent) and stamp(sent) is not None:
        taken = sent
    if why is None:
        try:
            return {"cameras": camera_report(data, limit), "taken": taken}, data
        except NoReport as error:
            why = "its report is no camera report: %s" % error
    return {"error": unicode_only(why), "taken": taken}, None


def kept(base, limit):
    """What a host not in this run last gave, from its files."""
    found = []
    for ending in (".json", ".error"):
        try:
            found.append((os.stat(base + ending).st_mtime, ending))
        except OSError:
            pass
    if not found:
        return {"error": "not collected yet"}
    when, ending = max(found)
    taken = datetime.datetime.fromtimestamp(when, datetime.timezone.utc).strftime(TIME_FORMAT)
    with open(base + ending, "rb") as stored:
        data = stored.read(limit + 1)
    if ending == ".error":
        # Said of the run that wrote it, not of this one.
        why = unicode_only(data.decode("utf-8", "replace")).strip()
        return {"error": "its last run: " + why, "taken": taken}
    try:
        return {"cameras": camera_report(data, limit), "taken": taken}
    except NoReport as error:
        return {"error": "its report is no camera report: %s" % error, "taken": taken}


def main():
    run = json.load(sys.stdin)
    reports = run["reports"]
    limit = int(run["limit"])
    hosts = os.path.join(reports, "hosts")
    os.makedirs(hosts, exist_ok=True)
    merged = {}
    for host, ran in run["run"].items():
        entry, data = outcome(host, ran, limit)
        base = os.path.join(hosts, file_name(host))
        if data is not None:
            replace_file(base + ".json", data, entry["taken"])
            remove(base + ".error")
        else:
            replace_file(base + ".error", (entry["error"] + "\n").encode("utf-8"), entry["taken"])
            remove(base + ".json")
        merged[host] = entry
    for host in run["inventory"]:
        if host not in run["run"]:
            merged[host] = kept(os.path.join(hosts, file_name(host)), limit)
    # Keys are the inventory's names exactly, white space and all; written
    # as ASCII, a name's byte that is no UTF-8 stays what it was (\udcXX).
    text = json.dumps(merged, indent=3, sort_keys=True, separators=(",", ": "), allow_nan=False) + "\n"
    replace_file(os.path.join(reports, "cameras.json"), text.encode("utf-8"))


if __name__ == "__main__":
    main()
