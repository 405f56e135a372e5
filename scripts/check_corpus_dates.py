#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Runs morrowtide-cli over a folder of photos with a shift of one hour and checks every output with exiftool.

For each photo and its corrected copy:
  * every EXIF DateTime (ModifyDate), DateTimeOriginal and DateTimeDigitized (CreateDate) that exiftool reads in
    any EXIF directory of any EXIF APP1 (exiftool -a -G1) is exactly one hour later in the copy; a value that is
    not a valid date stays as it was;
  * no marker section before the first scan is lost or duplicated: the sections of the copy are those of the
    source (an XMP or IPTC section may differ in the digits of its date copies), except that an APP0 standing
    right after SOI gives way to the EXIF section and a photo with neither EXIF nor APP0 gets a JFIF segment; the
    EXIF sections differ only in their date characters;
  * the bytes from the first start-of-scan marker to the end are equal.

Usage: check_corpus_dates.py CLI SOURCE_FOLDER SCRATCH_FOLDER
Prints the counts and every failure; exits 1 when anything failed.
"""
import collections
import datetime
import os
import shutil
import subprocess
import sys

TAGS = ["-EXIF:ModifyDate", "-EXIF:DateTimeOriginal", "-EXIF:CreateDate"]
OFFSET = datetime.timedelta(hours=1)


def parse_date(text):
    """The date exactly as the program reads it, or None when it is no valid date."""
    if len(text) < 19:
        return None
    fields = (text[0:4], text[5:7], text[8:10], text[11:13], text[14:16], text[17:19])
    try:
        numbers = [int(f) for f in fields]
    except ValueError:
        return None
    try:
        return datetime.datetime(*numbers)
    except ValueError:
        return None


def exif_dates(path):
    """(group, tag, value) of every EXIF date exiftool reads, in file order."""
    out = subprocess.run(["exiftool", "-a", "-G1", "-s", "-charset", "filename=utf8"] + TAGS + [path],
                         capture_output=True, text=True, errors="replace").stdout
    dates = []
    for line in out.splitlines():
        if not line.startswith("["):
            continue
        group, rest = line[1:].split("]", 1)
        tag, value = rest.split(":", 1)
        dates.append((group.strip(), tag.strip(), value.strip()))
    return dates


def sections(data):
    """(marker, bytes after the marker) of each section up to and including the first SOS, and where SOS starts."""
    found = []
    pos = 2
    while pos < len(data):
        start = pos
        while pos < len(data) and data[pos] == 0xFF:
            pos += 1
        if pos + 2 >= len(data):
            return found, None
        marker = data[pos]
        length = data[pos + 1] * 256 + data[pos + 2]
        if length < 2:
            return found, None
        found.append((marker, data[pos + 1:pos + 1 + length]))
        if marker == 0xDA:
            return found, start
        if marker == 0xD9:
            return found, None
        pos += 1 + length
    return found, None


def is_exif(section):
    return section[0] == 0xE1 and section[1][2:8] == b"Exif\0\0"


def is_iptc_record_inside(section):
    """True when an EXIF section holds an IPTC record (datasets "\x1c\x02" of the application record)."""
    return b"\x1c\x02" in section


def only_dates_differ(a, b):
    """True when two EXIF sections have the same length and differ only in 19-character runs that read as dates (or in
    the digits of an IPTC record the section holds)."""
    if len(a) != len(b):
        return False
    i = 0
    while i < len(a):
        if a[i] != b[i]:
            # The run of differing bytes must lie within a date value in both.
            start = max(0, i - 18)
            ok = any(parse_date(a[s:s + 19].decode("latin-1")) and parse_date(b[s:s + 19].decode("latin-1"))
                     for s in range(start, i + 1))
            # An IPTC record kept inside the EXIF block has its date copies moved digit for digit.
            if not ok and not (0x30 <= a[i] <= 0x39 and 0x30 <= b[i] <= 0x39 and is_iptc_record_inside(a)):
                return False
        i += 1
    return True


def only_digits_differ(a, b):
    """True when two sections have the same length and differ only where both hold a digit: an XMP or IPTC date
    copy moved in place (check-date-copies.py checks the values themselves)."""
    return len(a) == len(b) and all(x == y or (0x30 <= x <= 0x39 and 0x30 <= y <= 0x39) for x, y in zip(a, b))


def check_pair(source, output, failures, counts):
    name = os.path.basename(source)
    src_bytes = open(source, "rb").read()
    out_bytes = open(output, "rb").read()

    # Dates.
    before, after = exif_dates(source), exif_dates(output)
    if [(g, t) for g, t, _ in before] != [(g, t) for g, t, _ in after]:
        failures.append(f"{name}: the copy's EXIF dates are not the source's: {before} / {after}")
    else:
        readable = [parse_date(v) for _, _, v in before]

        def moved(date):
            try:
                return date + OFFSET
            except OverflowError:
                return None

        # A photo one of whose dates would leave the years 0001-9999 keeps them all.
        moves = all(moved(d) is not None for d in readable if d is not None)
        for (group, tag, old), (_, _, new), date in zip(before, after, readable):
            counts["dates"] += 1
            expected = old
            if date is not None and moves:
                later = moved(date)
                # Read by position whatever the separators; written back with colons, the rest kept.
                expected = f"{later.year:04d}" + later.strftime(":%m:%d %H:%M:%S") + old[19:]
            if new != expected:
                failures.append(f"{name}: [{group}] {tag} {old!r} became {new!r}, expected {expected!r}")
            elif date is None:
                counts["unreadable dates kept"] += 1

    # Sections.
    src_sections, src_sos = sections(src_bytes)
    out_sections, out_sos = sections(out_bytes)
    src_exif = [s for s in src_sections if is_exif(s)]
    out_exif = [s for s in out_sections if is_exif(s)]
    counts["sections"] += len(src_sections)
    expected_other = collections.Counter(s for s in src_sections if not is_exif(s))
    if src_exif and src_sections and src_sections[0][0] == 0xE0:
        expected_other[src_sections[0]] -= 1  # the APP0 right after SOI gives way to the EXIF section
    if not src_exif and not any(m == 0xE0 for m, _ in src_sections):
        expected_other[(0xE0, b"\x00\x10JFIF\x00\x01\x02\x01\x01\x2c\x01\x2c\x00\x00")] += 1
    got_other = collections.Counter(s for s in out_sections if not is_exif(s))
    lost = +(expected_other - got_other)
    extra = +(got_other - expected_other)
    # A section whose date copies moved stands where it stood with other digits: pair it with its original.
    for marker, payload in list(lost.elements()):
        match = next((s for s in extra.elements() if s[0] == marker and only_digits_differ(payload, s[1])), None)
        if match is not None:
            lost[(marker, payload)] -= 1
            extra[match] -= 1
            counts["sections with date copies moved"] += 1
    lost, extra = +lost, +extra
    if lost or extra:
        failures.append(f"{name}: sections lost {[hex(m) for m, _ in lost.elements()]}, "
                        f"added {[hex(m) for m, _ in extra.elements()]}")
    if len(src_exif) != len(out_exif):
        failures.append(f"{name}: {len(src_exif)} EXIF sections became {len(out_exif)}")
    else:
        for a, b in zip(src_exif, out_exif):
            if not only_dates_differ(a[1], b[1]):
                failures.append(f"{name}: an EXIF section changed beyond its dates")
    # Image data.
    if src_sos is None or out_sos is None:
        counts["without a scan"] += 1
    else:
        counts["image bytes compared"] += len(src_bytes) - src_sos
        if src_bytes[src_sos:] != out_bytes[out_sos:]:
            failures.append(f"{name}: image data from the first scan on differs")


def main():
    if len(sys.argv) != 4:
        print(__doc__)
        return 2
    cli, source, scratch = sys.argv[1:]
    dest = os.path.join(scratch, "out")
    shutil.rmtree(dest, ignore_errors=True)
    run = subprocess.run([cli, "run", "--hours", "1", "--no-datetime", source, dest], capture_output=True)
    print(run.stdout.decode(errors="replace").splitlines()[-1])
    err = run.stderr.decode(errors="replace").splitlines()
    print(f"standard error: {len(err)} lines" + ("".join("\n  " + line for line in err[-3:]) if err else ""))

    # With --no-datetime the copy keeps the source's relative path, with the extension ".jpg".
    counts = collections.Counter()
    failures = []
    for folder, _, files in os.walk(source):
        for file in sorted(files):
            if not (file.endswith(".jpg") or file.endswith(".JPG")):
                continue
            src = os.path.join(folder, file)
            rel = os.path.relpath(src, source)
            out = os.path.join(dest, rel[:-4] + ".jpg")
            counts["photos"] += 1
            if not os.path.exists(out):
                # A photo the program refused says so on standard error; its copy is rightly missing.
                refusal = [line for line in err if line.startswith(src + ": ")]
                if refusal:
                    counts["refused"] += 1
                    print("refused:", refusal[0])
                else:
                    failures.append(f"{rel}: no copy written")
                continue
            check_pair(src, out, failures, counts)
    for failure in failures:
        print("FAIL", failure)
    print(", ".join(f"{k}: {v}" for k, v in sorted(counts.items())) + f", failures: {len(failures)}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
