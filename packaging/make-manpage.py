#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes a manual page (roff, gzip-compressed) from help text.

The help text is what a program prints for --help, or a file in the same form:
  - "Usage: ..." lines (indented continuations included) become the synopsis;
  - a line ending in ":" that starts a block is a heading; the indented lines under it are entries;
  - an indented entry is "TERM  description" (two or more blanks or a tab apart); deeper-indented lines continue
    the description of the entry above;
  - every other block is a paragraph, filled by the formatter.

For a program with commands (a "Commands:" block in its --help), each command's own --help follows as a section.

  make-manpage.py --name NAME --summary TEXT --version V --date "Month YYYY" --output FILE.1.gz
                  (--program PATH | --text FILE) [--see-also "name(1)" ...]
"""
import argparse
import gzip
import re
import subprocess
import sys


def escape(text):
    """Text as roff shows it literally: backslashes, minus signs and a leading dot or quote."""
    text = text.replace("\\", "\\e").replace("-", "\\-")
    if text.startswith((".", "'")):
        text = "\\&" + text
    return text


def split_entry(line):
    """'  --days N     any number' -> ('--days N', 'any number'); a term without a description gets ''."""
    stripped = line.strip()
    parts = re.split(r"\t+| {2,}", stripped, maxsplit=1)
    return parts[0], parts[1] if len(parts) > 1 else ""


def blocks_of(text):
    block = []
    for line in text.rstrip().splitlines():
        if line.strip():
            block.append(line.rstrip())
        elif block:
            yield block
            block = []
    if block:
        yield block


def is_indented(line):
    return line.startswith((" ", "\t"))


def usage_lines(block):
    """The synopsis lines of a "Usage:" block, without the word Usage and the alignment blanks."""
    lines = []
    for line in block:
        line = line.strip()
        if line.startswith("Usage:"):
            line = line[len("Usage:"):].strip()
        lines.append(line)
    return lines


def render_entries(lines, out):
    entry_indent = None
    for line in lines:
        indent = len(line) - len(line.lstrip())
        if entry_indent is None:
            entry_indent = indent
        if indent > entry_indent and out and out[-1] != ".TP":
            # A continuation of the entry above.
            out.append(escape(line.strip()))
            continue
        term, description = split_entry(line)
        if out and out[-1].endswith(",\\fR") and out[-2] == ".TP":
            # A list of terms that goes on over the next line: one entry.
            out[-1] = out[-1][: -len("\\fR")] + " " + escape(term) + "\\fR"
            if description:
                out.append(escape(description))
            continue
        out.append(".TP")
        out.append("\\fB" + escape(term) + "\\fR")
        if description:
            out.append(escape(description))


def render_body(text, out, synopsis=None):
    """Appends the roff of help text to `out`; the usage lines go to `synopsis` when given, else into the text."""
    for block in blocks_of(text):
        if block[0].startswith("Usage:"):
            lines = usage_lines(block)
            if synopsis is not None:
                synopsis.extend(lines)
            else:
                out.append(".PP")
                for line in lines:
                    out.append("\\fB" + escape(line) + "\\fR")
                    out.append(".br")
            continue
        first = block[0]
        rest = block[1:]
        if not is_indented(first) and first.endswith(":") and rest and all(is_indented(l) for l in rest):
            out.append(".SS " + escape(first[:-1]))
            render_entries(rest, out)
            continue
        if all(is_indented(l) for l in block) and re.search(r"\t| {2,}", block[0].strip()):
            render_entries(block, out)
            continue
        out.append(".PP")
        for line in block:
            out.append(escape(line.strip()))


def commands_of(help_text):
    """The command names listed under "Commands:" in a program's --help."""
    names = []
    for block in blocks_of(help_text):
        if block[0].strip() == "Commands:":
            names += [split_entry(line)[0] for line in block[1:]]
    return names


def run_help(program, *args):
    result = subprocess.run([program, *args, "--help"], check=True, capture_output=True, text=True)
    return result.stdout


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--name", required=True)
    parser.add_argument("--summary", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--date", required=True)
    parser.add_argument("--output", required=True)
    source = parser.add_mutually_exclusive_group(required=True)
    source.add_argument("--program", help="the program whose --help is the page")
    source.add_argument("--text", help="a file of help text")
    parser.add_argument("--see-also", action="append", default=[])
    options = parser.parse_args()

    if options.program:
        main_text = run_help(options.program)
        sections = [(command, run_help(options.program, command)) for command in commands_of(main_text)]
    else:
        with open(options.text, encoding="utf-8") as f:
            main_text = f.read()
        sections = []

    synopsis = []
    description = []
    render_body(main_text, description, synopsis)
    title = options.name.upper()
    page = [
        '.TH "%s" "1" "%s" "%s %s" "User Commands"' % (escape(title), options.date, options.name, options.version),
        ".SH NAME",
        escape(options.name) + " \\- " + escape(options.summary),
        ".SH SYNOPSIS",
    ]
    for i, line in enumerate(synopsis):
        if i:
            page.append(".br")
        page.append("\\fB" + escape(line) + "\\fR")
    page.append(".SH DESCRIPTION")
    page += description
    for command, text in sections:
        page.append(".SH COMMAND: " + escape(command.upper()))
        render_body(text, page)
    if options.see_also:
        page.append(".SH SEE ALSO")
        page.append(", ".join("\\fB%s\\fR(%s)" % (escape(ref.split("(")[0]), ref.split("(")[1].rstrip(")"))
                              for ref in options.see_also))
    roff = "\n".join(page) + "\n"
    # No name and no time stamp in the gzip header, so that the same text gives the same bytes.
    with open(options.output, "wb") as f:
        f.write(gzip.compress(roff.encode("utf-8"), compresslevel=9, mtime=0))
    return 0


if __name__ == "__main__":
    sys.exit(main())
