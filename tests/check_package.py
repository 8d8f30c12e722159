#!/usr/bin/env python3
"""Packs the release archive of a Windows build with cpack and checks what a
user unpacks: one folder Sumbrel/ holding the built DLL, every language's
message and help file as in resources/, and a readable CR LF readme.

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


def readme_problems(text, version):
    problems = []
    if re.search(rb"(?<!\r)\n", text) or not text.endswith(b"\r\n"):
        problems.append("ReadMe.txt: a line does not end in CR LF")
    if any(byte > 0x7E and byte not in b"\r\n" for byte in text):
        problems.append("ReadMe.txt: not plain ASCII")
    lines = text.decode("ascii", "replace").split("\r\n")
    if any(len(line) > 79 for line in lines):
        problems.append("ReadMe.txt: lines wider than 79 columns")
    wanted = {
        "the version": re.escape("Sumbrel " + version),
        "installing": r"(?i)plug-in folder",
        "the default signature file": r"sigfile\.md5",
        "the command prefix": r"md5:",
        "the asterisk form": r"\b[0-9a-f]{32} \*\S",
        "the parenthesised form": r"MD5 \(\S.*\) = [0-9a-f]{32}\b",
        "Escape": r"\bEsc\b",
    }
    body = "\n".join(lines)
    for topic, pattern in wanted.items():
        if not re.search(pattern, body):
            problems.append("ReadMe.txt says nothing of %s" % topic)
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
    expected = {"Sumbrel/Sumbrel.dll": read(dll), "Sumbrel/ReadMe.txt": None}
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
            if name == "Sumbrel/ReadMe.txt":
                problems += readme_problems(data, version)
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
