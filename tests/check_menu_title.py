#!/usr/bin/env python3
"""Every text that tells users where to find Sumbrel names its plug-in menu
entry exactly as the file manager shows it: text 0 of that language's
message file. A sentence that sends the user to the plug-in menu to pick
something must hold the entry, emphasised or quoted, for every language
the document speaks of.

usage: check_menu_title.py SOURCE_DIR
"""
import glob
import os
import re
import sys

# The words that send a user to the menu, by language.
PICKING = {
    "Eng": re.compile(r"plug-in menu.*\b(pick|choose|select)\b|\b(pick|choose|select)\b.*plug-in menu",
                      re.IGNORECASE),
    "Rus": re.compile(r"меню модулей.*выбер|выбер.*меню модулей", re.IGNORECASE),
}
MARKS = [("**", "**"), ("#", "#"), ('"', '"'), ("«", "»")]


def menu_entry(messages):
    """Text 0 of a message file, without its hot-key mark."""
    with open(messages, encoding="cp866") as stream:
        texts = [line.strip() for line in stream if line.startswith('"')]
    return texts[0].strip('"').replace("&", "")


def sentences(path, encoding):
    with open(path, encoding=encoding) as stream:
        text = " ".join(stream.read().split())
    return re.split(r"(?<=[.!?])\s+", text)


def problems_of(path, encoding, languages, required, entries):
    problems = []
    named = 0
    for sentence in sentences(path, encoding):
        if not any(PICKING[language].search(sentence) for language in PICKING):
            continue
        named += 1
        for language in languages:
            entry = entries[language]
            if not any(opening + entry + closing in sentence for opening, closing in MARKS):
                problems.append("%s: names the menu entry without \"%s\": %s"
                                % (path, entry, sentence))
    if required and named == 0:
        problems.append("%s: never says what to pick from the plug-in menu" % path)
    return problems


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    source = sys.argv[1]
    resources = os.path.join(source, "resources")
    entries = {language: menu_entry(os.path.join(resources, "Sumbrel%s.lng" % language))
               for language in PICKING}
    # Each document, its encoding, the languages whose entry it names, and
    # whether it must tell where to find Sumbrel at all.
    documents = [
        ("README.md", "utf-8", ["Eng", "Rus"], True),
        ("docs/using.md", "utf-8", ["Eng", "Rus"], True),
        ("resources/SumbrelEng.hlf", "cp866", ["Eng"], True),
        ("resources/SumbrelRus.hlf", "cp866", ["Rus"], True),
        ("resources/ReadMe.txt.in", "utf-8-sig", ["Eng"], True),
        ("resources/ReadMeRus.txt.in", "utf-8-sig", ["Rus"], True),
    ]
    listed = {name for name, _, _, _ in documents}
    for path in sorted(glob.glob(os.path.join(source, "docs", "*.md"))):
        name = os.path.relpath(path, source)
        if name not in listed:
            documents.append((name, "utf-8", ["Eng", "Rus"], False))
    problems = []
    for name, encoding, languages, required in documents:
        if not os.path.exists(os.path.join(source, name)):
            problems.append("%s: missing" % name)
            continue
        problems += problems_of(os.path.join(source, name), encoding, languages, required,
                                entries)
    for problem in problems:
        print(problem)
    if not problems:
        print("menu entry: %s" % ", ".join('"%s"' % entries[language] for language in PICKING))
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
