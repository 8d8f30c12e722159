#!/usr/bin/env python3
"""Rewrites zip archives in place without their entries' owners.

cpack's zip writer gives every entry an Info-ZIP Unix extra field holding
the user and group ids of whoever built it, so two builders' archives
differ. This keeps each entry's name, time, mode bits and data, in the same
order, and drops every extra field: the DOS time the entries keep is the
one cpack set from SOURCE_DATE_EPOCH.

usage: archive_without_owners.py ARCHIVE...
"""
import os
import sys
import zipfile


def rewrite(path):
    temporary = path + ".rewriting"
    with zipfile.ZipFile(path) as old, zipfile.ZipFile(temporary, "w") as new:
        for entry in old.infolist():
            plain = zipfile.ZipInfo(entry.filename, entry.date_time)
            plain.external_attr = entry.external_attr
            plain.create_system = entry.create_system
            plain.compress_type = entry.compress_type
            new.writestr(plain, old.read(entry), compresslevel=9)
    os.replace(temporary, path)


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    for path in sys.argv[1:]:
        rewrite(path)


if __name__ == "__main__":
    main()
