#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Runs morrowtide-cli with --all-types over a folder of photo, raw, movie and sidecar files with a shift of one
hour and checks every output with exiftool.

For each file and its corrected copy (with --no-datetime the copy keeps the source's relative path and name):
  * every date exiftool reads (exiftool -a -G1 -time:all) in the groups that hold capture dates (the EXIF
    directories, XMP-xmp/exif/photoshop/tiff, IPTC, the movie header and track times, QuickTime texts, PNG) is one
    hour later in the copy, the zone designator and fractions kept; a date without a time (a year, an IPTC date)
    stays as it is; a date the run reported as left alone is counted apart;
  * the copy has the size of the source, and the bytes that differ lie in runs that are digits on both sides
    (a text date) or at most 8 bytes long (a binary date, a PNG CRC), no more of them than there are dates;
  * every PNG chunk CRC of the copy is right where the source's was.

Usage: check_other_types.py CLI SOURCE_FOLDER SCRATCH_FOLDER
Prints the counts per file type and every failure; exits 1 when anything failed.
"""
import collections
import datetime
import os
import re
import shutil
import struct
import subprocess
import sys
import zlib

OFFSET = datetime.timedelta(hours=1)
EXIF_TAGS = {"ModifyDate", "DateTimeOriginal", "CreateDate"}
CAPTURE_TAGS = {
    "XMP-xmp": {"CreateDate", "ModifyDate"},
    "XMP-exif": {"DateTimeOriginal", "DateTimeDigitized"},
    "XMP-photoshop": {"DateCreated"},
    "XMP-tiff": {"DateTime"},
    "IPTC": {"DateCreated", "TimeCreated", "DigitalCreationDate", "DigitalCreationTime"},
    "QuickTime": {"CreateDate", "ModifyDate"},
    "UserData": {"DateTimeOriginal", "ContentCreateDate"},
    "ItemList": {"ContentCreateDate"},
    "Keys": {"CreationDate"},
    "PNG": {"ModifyDate", "CreateDate"},
}
TRACK_TAGS = {"TrackCreateDate", "TrackModifyDate", "MediaCreateDate", "MediaModifyDate"}
DATE = re.compile(r"^(\d{4})[:-](\d{2})[:-](\d{2})[ T](\d{2}):(\d{2})(?::(\d{2}))?(\.\d+)?(.*)$")


def is_capture(group, tag):
    if group in ("IFD0", "ExifIFD", "IFD1") or group.startswith("SubIFD"):
        return tag in EXIF_TAGS
    if re.fullmatch(r"Track\d+", group):
        return tag in TRACK_TAGS
    return tag in CAPTURE_TAGS.get(group, ())


def dates_of(path):
    """{(group, tag, n): value} of the capture dates exiftool reads; n counts repeats of a group and tag."""
    out = subprocess.run(["exiftool", "-a", "-G1", "-s", "-time:all", "-charset", "filename=utf8", path],
                         capture_output=True, text=True, errors="replace").stdout
    found = {}
    seen = collections.Counter()
    for line in out.splitlines():
        if not line.startswith("["):
            continue
        group, rest = line[1:].split("]", 1)
        tag, value = rest.split(":", 1)
        group, tag = group.strip(), tag.strip()
        if not is_capture(group, tag):
            continue
        seen[(group, tag)] += 1
        found[(group, tag, seen[(group, tag)])] = value.strip()
    return found


def moved_text(old):
    """The text of `old` one hour later, or None when it holds no time (it then stays as it is)."""
    m = DATE.match(old)
    if not m:
        return None
    y, mo, d, h, mi, s, frac, rest = m.groups()
    try:
        when = datetime.datetime(int(y), int(mo), int(d), int(h), int(mi), int(s or 0)) + OFFSET
    except (ValueError, OverflowError):
        return None
    # EXIF dates are written back with colons whatever separators they had; exiftool shows the others with colons.
    text = when.strftime("%Y:%m:%d") + old[10] + when.strftime("%H:%M")
    if s is not None:
        text += when.strftime(":%S")
    return text + (frac or "") + rest


def png_crcs_ok(data):
    if not data.startswith(b"\x89PNG\r\n\x1a\n"):
        return None
    at, ok = 8, True
    while at + 12 <= len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        if at + 12 + length > len(data):
            break
        stored = struct.unpack(">I", data[at + 8 + length:at + 12 + length])[0]
        ok &= zlib.crc32(data[at + 4:at + 8 + length]) == stored
        at += 12 + length
        if kind == b"IEND":
            break
    return ok


def is_digit(byte):
    return 0x30 <= byte <= 0x39


def check_bytes(src, out, dates, name, failures, counts):
    if len(src) != len(out):
        failures.append(f"{name}: {len(src)} bytes became {len(out)}")
        return
    runs, i = [], 0
    while i < len(src):
        if src[i] != out[i]:
            j = i
            while j < len(src) and src[j] != out[j]:
                j += 1
            runs.append((i, j))
            i = j
        else:
            i += 1
    binary = [r for r in runs if not all(is_digit(src[k]) and is_digit(out[k]) for k in range(*r))]
    counts["changed byte runs"] += len(runs)
    for start, end in binary:
        if end - start > 8:
            failures.append(f"{name}: {end - start} bytes at {start} changed that are not the digits of a date")
    if len(binary) > 2 * max(1, dates):
        failures.append(f"{name}: {len(binary)} binary runs changed for {dates} dates")
    src_png = png_crcs_ok(src)
    if src_png is not None:
        if src_png and not png_crcs_ok(out):
            failures.append(f"{name}: a PNG chunk CRC of the copy is wrong")
        counts["PNG CRCs checked"] += 1


def main():
    if len(sys.argv) != 4:
        print(__doc__)
        return 2
    cli, source, scratch = sys.argv[1:]
    dest = os.path.join(scratch, "out")
    shutil.rmtree(dest, ignore_errors=True)
    # The dry run names the copies the run writes.
    listed = subprocess.run([cli, "run", "--dry-run", "--no-datetime", "--all-types", source, dest],
                            capture_output=True).stdout.decode(errors="replace").splitlines()[:-1]
    run = subprocess.run([cli, "run", "--hours", "1", "--no-datetime", "--all-types", source, dest],
                         capture_output=True)
    print(run.stdout.decode(errors="replace").splitlines()[-1])
    err = run.stderr.decode(errors="replace").splitlines()

    per_type = collections.defaultdict(collections.Counter)
    failures = []
    for line in listed:
        rel, out_rel = line.split("\t")[:2]
        src = os.path.join(source, rel)
        out = os.path.join(dest, out_rel)
        kind = os.path.splitext(rel)[1].upper().lstrip(".")
        counts = per_type[kind]
        counts["files"] += 1
        if not os.path.exists(out):
            failures.append(f"{rel}: no copy written")
            continue
        noted = [e for e in err if e.startswith(src + ": ")]
        before, after = dates_of(src), dates_of(out)
        for key, old in before.items():
            new = after.get(key)
            expected = moved_text(old)
            counts["dates"] += 1
            if new is None:
                failures.append(f"{rel}: [{key[0]}] {key[1]} is gone from the copy")
            elif expected is None:
                counts["empty or date only, kept"] += 1
                if new != old:
                    failures.append(f"{rel}: [{key[0]}] {key[1]} {old!r} became {new!r}, a date without a time")
            elif new == expected:
                counts["moved"] += 1
            elif new == old and noted:
                counts["left, reported"] += 1
                print(f"left: {rel}: [{key[0]}] {key[1]} {old!r} ({noted[-1][len(src) + 2:]})")
            else:
                failures.append(f"{rel}: [{key[0]}] {key[1]} {old!r} became {new!r}, expected {expected!r}")
        with open(src, "rb") as a, open(out, "rb") as b:
            check_bytes(a.read(), b.read(), len(before), rel, failures, counts)
    for failure in failures:
        print("FAIL", failure)
    keys = ["files", "dates", "moved", "empty or date only, kept", "left, reported", "changed byte runs", "PNG CRCs checked"]
    print("type\t" + "\t".join(keys))
    total = collections.Counter()
    for kind in sorted(per_type):
        total.update(per_type[kind])
        print(kind + "\t" + "\t".join(str(per_type[kind][k]) for k in keys))
    print("all\t" + "\t".join(str(total[k]) for k in keys))
    print(f"failures: {len(failures)}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
