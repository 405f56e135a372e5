#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Corrects a folder of photos by one hour and checks every date exiftool reads in the copies.

    scripts/check-date-copies.py [--cli PATH] [--keep] SOURCE

Runs `morrowtide-cli run --hours 1 --no-datetime SOURCE <temp>` and compares, photo by photo, the dates exiftool
(-a -G1 -n -time:all) reads in the original and in the copy:
  - every copy of the capture dates (groups IFD0, ExifIFD, IFD1, XMP-xmp, XMP-exif, XMP-photoshop, XMP-tiff, IPTC)
    must be exactly one hour later; an IPTC date and its time are compared as one date-time. A value that holds no
    time of day (a date only) or cannot be read must be unchanged: it is counted as left;
  - the dates that are never shifted (GPS date and time, ICC profile date, xmp:MetadataDate, xmpMM:History times)
    and every other date must be unchanged.
Prints the counts and every mismatch; exits 1 on any mismatch, 2 when the run or exiftool cannot be started.
"""
import argparse
import datetime
import os
import re
import shutil
import subprocess
import sys
import tempfile
from collections import Counter, defaultdict

CAPTURE_GROUPS = {"IFD0", "ExifIFD", "IFD1", "XMP-xmp", "XMP-exif", "XMP-photoshop", "XMP-tiff", "IPTC"}
CAPTURE_TAGS = {
    "IFD0": {"ModifyDate", "DateTimeOriginal", "CreateDate"},
    "ExifIFD": {"ModifyDate", "DateTimeOriginal", "CreateDate"},
    "IFD1": {"ModifyDate", "DateTimeOriginal", "CreateDate"},
    "XMP-xmp": {"ModifyDate", "CreateDate"},
    "XMP-exif": {"DateTimeOriginal", "DateTimeDigitized"},
    "XMP-photoshop": {"DateCreated"},
    "XMP-tiff": {"DateTime"},
}
IPTC_PAIRS = {"DateCreated": "TimeCreated", "DigitalCreationDate": "DigitalCreationTime"}
NEVER_SHIFTED = {("GPS", "GPSDateStamp"), ("GPS", "GPSTimeStamp"), ("Composite", "GPSDateTime"),
                 ("ICC-header", "ProfileDateTime"), ("XMP-xmp", "MetadataDate"), ("XMP-xmpMM", "HistoryWhen")}
IGNORED_GROUPS = {"System", "Composite"}

# exiftool shows the zone of an XMP date written with colons in its date part as ":hh:mm".
DATE_TIME = re.compile(r"^(\d{4})[:-](\d{2})[:-](\d{2})[ T](\d{2}):(\d{2})(?::(\d{2})(\.\d+)?)?(Z|[+-]\d{2}:?\d{2}|:\d{2}:\d{2})?$")
TIME = re.compile(r"^(\d{2}):(\d{2}):(\d{2})(\.\d+)?(Z|[+-]\d{2}:?\d{2})?$")
DATE = re.compile(r"^(\d{4}):(\d{2}):(\d{2})$")


def read_dates(path):
    """[(group, tag, value)] in exiftool's order, duplicates included."""
    out = subprocess.run(["exiftool", "-q", "-q", "-a", "-G1", "-s", "-n", "-time:all", path],
                         capture_output=True, text=True, errors="replace").stdout
    dates = []
    for line in out.splitlines():
        m = re.match(r"^\[([^\]]+)\]\s+(\S+)\s*:\s?(.*)$", line)
        if m and m.group(1) not in IGNORED_GROUPS:
            dates.append((m.group(1), m.group(2), m.group(3)))
    return dates


def as_datetime(value):
    """(datetime, suffix) for a full date and time, else None."""
    m = DATE_TIME.match(value)
    if not m:
        return None
    y, mo, d, h, mi, s = (int(x) if x else 0 for x in m.groups()[:6])
    try:
        return datetime.datetime(y, mo, d, h, mi, s), (m.group(7) or "") + (m.group(8) or "")
    except ValueError:
        return None


def iptc_group(group):
    return re.sub(r"\d+$", "", group) == "IPTC"


def compare_file(source, output, counts, failures):
    before, after = read_dates(source), read_dates(output)
    # The header sections are written in a fixed order, so groups may come in another order: each tag's values are
    # paired in the order they come.
    order = defaultdict(list)
    for index, (group, tag, _) in enumerate(after):
        order[(group, tag)].append(index)
    if sorted(order) != sorted({(g, t) for g, t, _ in before}) or \
            any(len(order[(g, t)]) != sum(1 for g2, t2, _ in before if (g2, t2) == (g, t)) for g, t, _ in before):
        failures.append(f"{source}: the copy has other date tags than the original")
        return
    taken = defaultdict(int)
    paired = []
    for group, tag, _ in before:
        paired.append(after[order[(group, tag)][taken[(group, tag)]]])
        taken[(group, tag)] += 1
    after = paired
    hour = datetime.timedelta(hours=1)
    # IPTC dates and times, per record, in order.
    iptc = defaultdict(list)
    for index, (group, tag, value) in enumerate(before):
        if iptc_group(group):
            iptc[group].append((tag, index))

    checked = set()
    for group, entries in iptc.items():
        times = {tag: [i for t, i in entries if t == tag] for tag in IPTC_PAIRS.values()}
        for date_tag, time_tag in IPTC_PAIRS.items():
            dates = [i for t, i in entries if t == date_tag]
            for n, di in enumerate(dates):
                ti = times[time_tag][n] if n < len(times[time_tag]) else None
                checked.add(di)
                label = f"{source}: [{group}] {date_tag}"
                old_d, new_d = before[di][2], after[di][2]
                if ti is None:
                    check_left(label, old_d, new_d, "date only", counts, failures)
                    continue
                checked.add(ti)
                old_t, new_t = before[ti][2], after[ti][2]
                od, nd, ot, nt = DATE.match(old_d), DATE.match(new_d), TIME.match(old_t), TIME.match(new_t)
                if not (od and ot):
                    check_left(label, old_d + " " + old_t, new_d + " " + new_t, "unreadable", counts, failures)
                    continue
                if not (nd and nt):
                    failures.append(f"{label}+{time_tag}: {old_d} {old_t} became {new_d} {new_t}")
                    continue
                o = as_datetime(old_d + " " + old_t[:8])
                n_ = as_datetime(new_d + " " + new_t[:8])
                if o and n_ and n_[0] - o[0] == hour and old_t[8:] == new_t[8:]:
                    counts["capture copies one hour later"] += 2
                    counts[f"  [IPTC] {date_tag}+{time_tag}"] += 1
                else:
                    failures.append(f"{label}+{time_tag}: {old_d} {old_t} became {new_d} {new_t}")

    for index, ((group, tag, old), (_, _, new)) in enumerate(zip(before, after)):
        if index in checked:
            continue
        label = f"{source}: [{group}] {tag}"
        if group in CAPTURE_TAGS and tag in CAPTURE_TAGS[group]:
            o, n = as_datetime(old), as_datetime(new)
            if o is None:
                check_left(label, old, new, "date only" if DATE.match(old) else "unreadable", counts, failures)
            elif n and n[0] - o[0] == hour and n[1] == o[1]:
                counts["capture copies one hour later"] += 1
                counts[f"  [{group}] {tag}"] += 1
            else:
                failures.append(f"{label}: {old} became {new}")
        elif iptc_group(group) and tag in set(IPTC_PAIRS.values()):
            check_left(label, old, new, "time without date", counts, failures)
        elif (group, tag) in NEVER_SHIFTED:
            if old == new:
                counts["never-shifted dates unchanged"] += 1
                counts[f"  [{group}] {tag}"] += 1
            else:
                failures.append(f"{label} (never shifted): {old} became {new}")
        elif old == new:
            counts["other dates unchanged"] += 1
        else:
            failures.append(f"{label} (not a capture date): {old} became {new}")


def check_left(label, old, new, why, counts, failures):
    if old == new:
        counts[f"capture copies left ({why})"] += 1
        counts[f"  left: {label.split(': ', 1)[1]} ({why})"] += 1
    else:
        failures.append(f"{label} ({why}, should be left): {old} became {new}")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("source")
    parser.add_argument("--cli", default=os.path.join(os.path.dirname(__file__), "..", "build", "release", "src",
                                                       "cli", "morrowtide-cli"))
    parser.add_argument("--keep", action="store_true", help="keep the corrected copies and print where")
    args = parser.parse_args()
    if shutil.which("exiftool") is None:
        print("exiftool is not installed", file=sys.stderr)
        return 2
    dest = tempfile.mkdtemp(prefix="morrowtide-date-copies-")
    try:
        run = subprocess.run([args.cli, "run", "--hours", "1", "--no-datetime", args.source, dest],
                             capture_output=True, text=True, errors="replace")
        if run.returncode not in (0, 1):
            print(f"the run failed ({run.returncode}): {run.stderr}", file=sys.stderr)
            return 2
        counts, failures, not_written = Counter(), [], []
        photos = 0
        for root, _, files in os.walk(args.source):
            for name in sorted(files):
                if not (name.endswith(".jpg") or name.endswith(".JPG")):
                    continue
                source = os.path.join(root, name)
                relative = os.path.relpath(source, args.source)
                output = os.path.join(dest, os.path.splitext(relative)[0] + ".jpg")
                if not os.path.exists(output):
                    # A photo the run refused (its own error on standard error) has no dates to compare.
                    reason = next((line for line in run.stderr.splitlines() if line.startswith(source + ":")),
                                  f"{source}: no copy written")
                    not_written.append(reason)
                    continue
                photos += 1
                compare_file(source, output, counts, failures)
        print(f"photos compared: {photos}")
        print(f"photos the run did not write: {len(not_written)}")
        for line in not_written:
            print("  " + line)
        for key in [k for k in counts if not k.startswith("  ")]:
            print(f"{key}: {counts[key]}")
        print("by tag:")
        for key in sorted(k for k in counts if k.startswith("  ")):
            print(f"{key}: {counts[key]}")
        print(f"mismatches: {len(failures)}")
        for failure in failures:
            print("  " + failure)
        return 1 if failures else 0
    finally:
        if args.keep:
            print(f"copies kept in {dest}")
        else:
            shutil.rmtree(dest, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
