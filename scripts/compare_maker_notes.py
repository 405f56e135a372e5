#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Compares the maker-note values that Morrowtide reads from real photos with exiftool's, by tag id.

Usage: scripts/compare_maker_notes.py [--whole] [--verbose] BUILD_DIR [CORPUS_DIR]

BUILD_DIR holds tests/maker_note_dump (built with --target maker_note_dump). Prints, per maker, the photos whose
note was recognised, those reported unreadable, the values compared with exiftool and those that agree, and for
Canon how many of the decoded settings show exiftool's meaning. The photos are those under CORPUS_DIR/cameras, or
with --whole every photo under CORPUS_DIR. --verbose lists the values that disagree.
"""
import json
import os
import re
import subprocess
import sys
from collections import defaultdict

# exiftool's family-1 group of each maker's main table.
GROUPS = {"NIKON": "Nikon", "OLYMP": "Olympus", "CASIO": "Casio", "FUJIF": "FujiFilm", "CANON": "Canon",
          "SEIKO": "Olympus", "SANYO": "Sanyo", "MINOL": "Minolta", "FUJI ": "FujiFilm"}
# Canon entries whose ids collide with the array tables: compared by exiftool's name instead.
CANON_NAMES = {6: "CanonImageType", 7: "CanonFirmwareVersion", 8: "FileNumber", 9: "OwnerName",
               12: "SerialNumber"}
CANON_COMPOSITE = {1, 4, 15}
# Canon sub-fields: caption (and occurrence) -> exiftool name, and whether the meaning (word) is checked too.
CANON_FIELDS = {
    ("Macro mode", 0): ("MacroMode", False), ("Self Timer", 0): ("SelfTimer", False),
    ("Compression Rate", 0): ("Quality", True), ("Flash Mode", 0): ("CanonFlashMode", False),
    ("Drive Mode", 0): ("ContinuousDrive", False), ("Focus Mode", 0): ("FocusMode", False),
    ("Image Size", 0): ("CanonImageSize", False), ("Easy Shoot", 0): ("EasyMode", False),
    ("Contrast", 0): ("Contrast", False), ("Saturation", 0): ("Saturation", False),
    ("Sharpness", 0): ("Sharpness", False), ("Metering Mode", 0): ("MeteringMode", True),
    ("AF Point", 0): ("AFPoint", True), ("Exposure Mode", 0): ("CanonExposureMode", True),
    ("Long focal", 0): ("MaxFocalLength", False), ("Short focal", 0): ("MinFocalLength", False),
    ("Focal Units", 0): ("FocalUnits", False), ("Flash Details", 0): ("FlashBits", False),
    ("Focus Mode", 1): ("FocusContinuous", True), ("White balance", 0): ("WhiteBalance", False),
    ("Sequence Number", 0): ("SequenceNumber", False), ("OpticalZoom Step", 0): ("OpticalZoomCode", False),
}

# exiftool's array index of each field compared, where its name also occurs in other Canon tables.
CANON_INDEX = {"Sharpness": 15, "Contrast": 13, "Saturation": 14, "WhiteBalance": 7, "FocusMode": 7,
               "MeteringMode": 17, "Quality": 3, "MacroMode": 1, "SelfTimer": 2}


def exiftool(paths, numeric):
    args = ["exiftool", "-j", "-G1", "-D", "-a", "-MakerNotes:all"] + (["-n"] if numeric else [])
    out = subprocess.run(args + paths, capture_output=True, text=True, errors="replace").stdout
    return {os.path.abspath(item["SourceFile"]): item for item in json.loads(out or "[]")}


def numbers(text):
    try:
        return [float(x) for x in str(text).split()]
    except ValueError:
        return None


def same(ours, theirs):
    """Our value text (numbers or text) against exiftool's -n value."""
    a, b = numbers(ours), numbers(theirs)
    if a is not None and b is not None and a and b:
        if len(a) != len(b):
            return False
        return all(abs(x - y) <= 1e-4 * max(1.0, abs(y)) or abs((x % 65536) - (y % 65536)) < 1e-9
                   for x, y in zip(a, b))
    return str(ours).strip() == str(theirs).strip()


def norm(word):
    return re.sub(r"[^a-z0-9]", "", str(word).lower())


def compare_file(key, rows, tags, words, s, name):
    group = GROUPS[key]
    arrays = {}
    for f in rows:
        if f[0] != "REC":
            continue
        tag, ours = int(f[1]), f[4] if len(f) > 4 else ""
        if key == "CANON" and tag in CANON_COMPOSITE:
            arrays[tag] = numbers(ours) or []
            continue
        hits = [v for k, v in tags.items() if k.startswith(group + ":") and isinstance(v, dict) and v.get("id") == tag]
        if key == "CANON":
            tool_name = CANON_NAMES.get(tag)
            hits = [tags[group + ":" + tool_name]] if tool_name and group + ":" + tool_name in tags else []
        if not hits:
            continue
        theirs = hits[0]["val"]
        if isinstance(theirs, str) and theirs.startswith("(Binary data"):
            continue
        s["compared"] += 1
        s["agree"] += same(ours, theirs)
        if VERBOSE and not same(ours, theirs):
            print(f"  {name}: tag 0x{tag:04X} {f[2]} = {ours!r}, exiftool {theirs!r}", file=sys.stderr)
    if key != "CANON":
        return
    # Array items by exiftool's index: the number read, then the meaning shown for it.
    seen = defaultdict(int)
    shown = {}
    for f in rows:
        if f[0] == "SUB":
            caption = f[2]
            shown[(caption, seen[caption])] = f[3] if len(f) > 3 else ""
            seen[caption] += 1
    for (caption, occurrence), (tool_name, meaning) in CANON_FIELDS.items():
        item = tags.get(group + ":" + tool_name)
        if not isinstance(item, dict):
            continue
        parent = 4 if caption in ("White balance", "Sequence Number", "OpticalZoom Step") else 1
        array = arrays.get(parent, [])
        index = item["id"]
        if index != CANON_INDEX.get(tool_name, index):
            continue  # the same name from another of exiftool's Canon tables
        s["compared"] += 1
        ours = array[index] if index < len(array) else None
        if ours is not None and tool_name in ("MaxFocalLength", "MinFocalLength") and len(array) > 25 and array[25]:
            ours /= array[25]  # exiftool divides by the focal units
        agrees = ours is not None and same(str(ours), item["val"])
        s["agree"] += agrees
        if VERBOSE and not agrees:
            print(f"  {name}: {tool_name} (item {index}) = {ours!r}, exiftool {item['val']!r}", file=sys.stderr)
        if not meaning:
            continue
        text = shown.get((caption, occurrence), "").strip()
        word = words.get(group + ":" + tool_name, {}).get("val", "")
        s["meanings compared"] += 1
        ok = norm(text) == norm(word) or (same(text, item["val"]) and norm(word) == norm(item["val"]))
        s["meanings agree"] += ok
        if not ok:
            print(f"  {name}: {caption} = {text!r}, exiftool {word!r} ({item['val']})", file=sys.stderr)


VERBOSE = False


def main():
    global VERBOSE
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    VERBOSE = "--verbose" in sys.argv
    build = args[0]
    corpus = args[1] if len(args) > 1 else os.path.join(os.path.dirname(__file__), "../../shared/corpus")
    root = corpus if "--whole" in sys.argv else os.path.join(corpus, "cameras")
    paths = sorted(os.path.abspath(os.path.join(d, f)) for d, _, fs in os.walk(root) for f in fs
                   if f.lower().endswith((".jpg", ".jpeg", ".tif", ".tiff", ".nef")))
    dump = subprocess.run([os.path.join(build, "tests", "maker_note_dump")] + paths, capture_output=True,
                          text=True, errors="replace").stdout
    tool_n, tool_words = exiftool(paths, True), exiftool(paths, False)

    stats = defaultdict(lambda: defaultdict(int))
    files = []
    for row in dump.splitlines():
        f = row.split("\t")
        if f[0] == "FILE":
            files.append((f, []))
        elif files:
            files[-1][1].append(f)
    for head, rows in files:
        path, key, state = os.path.abspath(head[1]), head[2], head[3]
        if state in ("none", "unknown"):
            continue
        s = stats[key]
        s["recognised"] += 1
        s["lines"] += int(head[4])
        s["unknown lines"] += int(head[5])
        if state.startswith("unreadable"):
            s["unreadable"] += 1
            print(f"  unreadable: {os.path.relpath(path, root)}: {state[11:]}", file=sys.stderr)
        if path not in tool_n:
            continue
        compare_file(key, rows, tool_n[path], tool_words.get(path, {}), s, os.path.relpath(path, root))

    cols = ["recognised", "unreadable", "lines", "unknown lines", "compared", "agree", "meanings compared",
            "meanings agree"]
    print("maker  " + "  ".join(cols))
    total = defaultdict(int)
    for key in GROUPS:
        s = stats[key]
        print(f"{key:<5}  " + "  ".join(f"{s[c]:>{len(c)}}" for c in cols))
        for c in cols:
            total[c] += s[c]
    print("all    " + "  ".join(f"{total[c]:>{len(c)}}" for c in cols))


if __name__ == "__main__":
    main()
