#!/usr/bin/env python3
"""Brings every resources/translations/stowline_*.ts in line with the numbered string table.

Each table entry is one message: context "StringTable", the table's text as written there (with its
\\r escapes) as source, its number as comment. A translation is kept while the English text it was made
from is unchanged; a changed or new text is marked unfinished, so the English shows until it is
translated in Qt Linguist. With --check nothing is written and the exit status says whether any file
is out of date or unfinished (for the tests). With --new LANG an empty file for LANG is started.
"""
import glob
import os
import sys
import xml.etree.ElementTree as ET

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
CONTEXT = "StringTable"


def read_table():
    entries = []
    for path in sorted(glob.glob(os.path.join(ROOT, "resources", "strings", "*.txt"))):
        with open(path, encoding="utf-8") as f:
            for line in f:
                line = line.rstrip("\n")
                if not line or line.startswith("#"):
                    continue
                number, text = line.split("\t", 1)
                entries.append((number, text))
    return entries


def read_ts(path):
    """number -> (source, translation, finished)"""
    known = {}
    if not os.path.exists(path):
        return known
    for message in ET.parse(path).getroot().iter("message"):
        translation = message.find("translation")
        known[message.findtext("comment")] = (
            message.findtext("source"),
            translation.text or "",
            translation.get("type") not in ("unfinished", "obsolete"),
        )
    return known


def write_ts(path, language, entries, known):
    root = ET.Element("TS", version="2.1", language=language, sourcelanguage="en")
    context = ET.SubElement(root, "context")
    ET.SubElement(context, "name").text = CONTEXT
    for number, source in entries:
        message = ET.SubElement(context, "message")
        ET.SubElement(message, "source").text = source
        ET.SubElement(message, "comment").text = number
        old_source, text, finished = known.get(number, (None, "", False))
        translation = ET.SubElement(message, "translation")
        translation.text = text
        if old_source != source or not finished:
            translation.set("type", "unfinished")
    ET.indent(root)
    with open(path, "w", encoding="utf-8") as f:
        f.write('<?xml version="1.0" encoding="utf-8"?>\n<!DOCTYPE TS>\n')
        f.write(ET.tostring(root, encoding="unicode"))
        f.write("\n")


def shape(text):
    """What a translation must keep: separators and the edges composed messages are joined at."""
    stripped = text.strip(" ")
    return (text.count("\\r"), len(text) - len(text.lstrip(" ")), len(text) - len(text.rstrip(" ")),
            "&" in text, stripped.endswith(":"), "|" in text)


def main():
    check = "--check" in sys.argv
    if "--new" in sys.argv:
        language = sys.argv[sys.argv.index("--new") + 1]
        write_ts(os.path.join(ROOT, "resources", "translations", f"stowline_{language}.ts"), language, [], {})
    entries = read_table()
    problems = []
    for path in sorted(glob.glob(os.path.join(ROOT, "resources", "translations", "stowline_*.ts"))):
        language = os.path.basename(path)[len("stowline_"):-len(".ts")]
        known = read_ts(path)
        if not check:
            write_ts(path, language, entries, known)
            continue
        name = os.path.basename(path)
        for number, source in entries:
            old_source, text, finished = known.get(number, (None, "", False))
            if old_source != source or not finished:
                problems.append(f"{name}: {number} not translated from the current text: {source!r}")
            elif shape(text) != shape(source):
                problems.append(f"{name}: {number} does not keep the separators of {source!r}: {text!r}")
        extra = set(known) - {number for number, _ in entries}
        problems += [f"{name}: {number} is no longer in the table" for number in sorted(extra)]
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
