#!/usr/bin/env python3
"""Packs the release archive of a Windows build with cpack and checks what a
user unpacks: one folder Sumbrel/ holding the built DLL, every language's
message and help file as in resources/, and a readable CR LF readme in
each language.

usage: check_package.py CPACK CPACK_CONFIG SCRATCH_DIR DLL RESOURCES VERSION
"""
import os
import re
import shutil
import subprocess
import sys
import zipfile


def read(path):
    with open(path, "rb") as stream:
        return stream.read()


def pack(cpack, config, scratch, version):
    shutil.rmtree(scratch, ignore_errors=True)
    os.makedirs(scratch)
    subprocess.run([cpack, "--config", config, "-B", scratch], check=True,
                   stdout=subprocess.DEVNULL)
    return os.path.join(scratch, "Sumbrel-%s.zip" % version)


# What each readme must tell, in its own language.
COMMON_TOPICS = {
    "the default signature file": r"sigfile\.md5",
    "the command prefix": r"md5:",
    "the asterisk form": r"\b[0-9a-f]{32} \*\S",
    "the parenthesised form": r"MD5 \(\S.*\) = [0-9a-f]{32}\b",
    "Escape": r"\bEsc\b",
    "the help key": r"\bF1\b",
}
READMES = {
    # Plain ASCII, which any viewer shows alike.
    "ReadMe.txt": (b"", "ascii", {"installing": r"(?i)plug-in folder", **COMMON_TOPICS}),
    # UTF-8 behind a byte-order mark: Notepad shows it right whatever the
    # system's ANSI code page, which a Cyrillic code page would not.
    "ReadMeRus.txt": (b"\xef\xbb\xbf", "utf-8",
                      {"installing": r"папку модулей", "Cyrillic text": r"[а-яё]{4}",
                       **COMMON_TOPICS}),
}


def readme_problems(name, text, version):
    mark, encoding, topics = READMES[name]
    problems = []
    if re.search(rb"(?<!\r)\n", text) or not text.endswith(b"\r\n"):
        problems.append("%s: a line does not end in CR LF" % name)
    if not text.startswith(mark) or (not mark and text.startswith(b"\xef\xbb\xbf")):
        problems.append("%s: wants %s" % (name, "a byte-order mark" if mark else "none"))
    try:
        body = text[len(mark):].decode(encoding)
    except UnicodeDecodeError:
        problems.append("%s: not %s" % (name, encoding))
        body = text[len(mark):].decode(encoding, "replace")
    if any((ord(letter) < 0x20 and letter not in "\r\n") or letter == "\x7f" for letter in body):
        problems.append("%s: control characters" % name)
    lines = body.split("\r\n")
    if any(len(line) > 79 for line in lines):
        problems.append("%s: lines wider than 79 columns" % name)
    body = "\n".join(lines)
    wanted = {"the version": re.escape("Sumbrel " + version), **topics}
    for topic, pattern in wanted.items():
        if not re.search(pattern, body):
            problems.append("%s says nothing of %s" % (name, topic))
    return problems


def owner_fields(extra):
    """The Unix owner fields (Info-ZIP "Ux" and "ux") among an entry's extra
    fields."""
    found = []
    while len(extra) >= 4:
        tag = int.from_bytes(extra[0:2], "little")
        size = int.from_bytes(extra[2:4], "little")
        if tag in (0x5855, 0x7855, 0x7875):
            found.append(tag)
        extra = extra[4 + size:]
    return found


def check(archive, dll, resources, version):
    shipped = sorted(name for name in os.listdir(resources)
                     if name.endswith((".lng", ".hlf")))
    expected = {"Sumbrel/Sumbrel.dll": read(dll)}
    for readme in READMES:
        expected["Sumbrel/" + readme] = None
    for name in shipped:
        expected["Sumbrel/" + name] = read(os.path.join(resources, name))
    problems = []
    with zipfile.ZipFile(archive) as package:
        entries = package.infolist()
        names = [entry.filename for entry in entries]
        files = [name for name in names if not name.endswith("/")]
        folders = [name for name in names if name.endswith("/")]
        if folders not in ([], ["Sumbrel/"]):
            problems.append("unexpected folders %s" % folders)
        if sorted(files) != sorted(expected):
            problems.append("archive holds %s, want %s" % (sorted(files), sorted(expected)))
        if names != sorted(names):
            problems.append("entries not in name order: %s" % names)
        if len({entry.date_time for entry in entries}) != 1:
            problems.append("entries carry different times")
        # Whoever builds it, the archive is the same: no user or group.
        owned = [entry.filename for entry in entries if owner_fields(entry.extra)]
        if owned:
            problems.append("entries carry their builder's user or group: %s" % owned)
        for name in files:
            data = package.read(name)
            readme = name[len("Sumbrel/"):]
            if readme in READMES:
                problems += readme_problems(readme, data, version)
            elif name in expected and data != expected[name]:
                problems.append("%s differs from the build's" % name)
    return problems, names


def main():
    if len(sys.argv) != 7:
        sys.exit(__doc__)
    cpack, config, scratch, dll, resources, version = sys.argv[1:]
    archive = pack(cpack, config, scratch, version)
    problems, names = check(archive, dll, resources, version)
    for problem in problems:
        print(problem)
    if not problems:
        print("%s: %s" % (os.path.basename(archive), " ".join(names)))
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
