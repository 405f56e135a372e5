#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the package's changelog (Debian changelog form, gzip-compressed) from CHANGELOG.md.

Each "## VERSION - YYYY-MM-DD" heading is an entry; its "### Kind" headings and "- " items become "* Kind: item"
lines, wrapped to fit 80 columns.

  make-changelog.py CHANGELOG.md "Maintainer <address>" OUTPUT.gz
"""
import datetime
import gzip
import re
import sys
import textwrap


def entries(markdown):
    """[(version, date, [(kind, item text)])] in the order of the file."""
    result = []
    kind = ""
    item = None
    for line in markdown.splitlines():
        heading = re.match(r"^## (\S+) - (\d{4}-\d{2}-\d{2})\s*$", line)
        if heading:
            result.append((heading.group(1), heading.group(2), []))
            kind, item = "", None
            continue
        if not result:
            continue
        if line.startswith("### "):
            kind, item = line[4:].strip(), None
        elif line.startswith("- "):
            item = [line[2:].strip()]
            result[-1][2].append((kind, item))
        elif line.startswith("  ") and item is not None:
            item.append(line.strip())
        elif not line.strip():
            item = None
        elif not line.startswith("#"):
            # A paragraph under the version heading: one item of its own.
            item = [line.strip()]
            result[-1][2].append(("", item))
    return [(version, date, [(k, " ".join(words)) for k, words in items]) for version, date, items in result]


def render(markdown, maintainer):
    lines = []
    for version, date, items in entries(markdown):
        lines.append("morrowtide (%s) unstable; urgency=medium" % version)
        lines.append("")
        for kind, text in items:
            text = "%s: %s" % (kind, text) if kind else text
            lines += textwrap.wrap(text, width=78, initial_indent="  * ", subsequent_indent="    ",
                                   break_on_hyphens=False)
        lines.append("")
        day = datetime.datetime.strptime(date, "%Y-%m-%d")
        lines.append(" -- %s  %s" % (maintainer, day.strftime("%a, %d %b %Y 00:00:00 +0000")))
        lines.append("")
    return "\n".join(lines)


def main(source, maintainer, output):
    with open(source, encoding="utf-8") as f:
        text = render(f.read(), maintainer)
    if not text:
        sys.exit("make-changelog.py: no \"## VERSION - YYYY-MM-DD\" heading in " + source)
    # No name and no time stamp in the gzip header, so that the same changelog gives the same bytes.
    with open(output, "wb") as f:
        f.write(gzip.compress(text.encode("utf-8"), compresslevel=9, mtime=0))


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    main(*sys.argv[1:])
