#!/usr/bin/env python3
"""The help files hold topics a user finds: every link names a topic its
file holds, every topic is reached by links from "Contents", and every
language's help has the same topics in the same order, so that F1 on a
notice opens its topic whatever the language.

usage: check_help_topics.py RESOURCES_DIR
"""
import glob
import os
import re
import sys

LINK = re.compile(r"~([^~]*)~@([^@\n]*)@")


def topics_of(path):
    """The topics in order, each with the links in its text."""
    with open(path, encoding="cp866") as stream:
        lines = stream.read().splitlines()
    topics = []
    for line in lines:
        if line.startswith("@") and len(line) > 1:
            topics.append((line[1:], []))
        elif topics:
            topics[-1][1].extend(target for _, target in LINK.findall(line))
    return topics


def problems_of(path):
    topics = topics_of(path)
    names = [name for name, _ in topics]
    links = dict(topics)
    problems = []
    if len(set(names)) != len(names):
        problems.append("%s: a topic is named twice" % path)
    if "Contents" not in links:
        return problems + ["%s: no topic Contents" % path]
    for name, targets in topics:
        for target in targets:
            if target not in links:
                problems.append("%s: topic %s links to %s, which the file lacks"
                                % (path, name, target))
    reached, waiting = {"Contents"}, ["Contents"]
    while waiting:
        for target in links[waiting.pop()]:
            if target in links and target not in reached:
                reached.add(target)
                waiting.append(target)
    for name in names:
        if name not in reached:
            problems.append("%s: no link leads to the topic %s" % (path, name))
    return problems


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    files = sorted(glob.glob(os.path.join(sys.argv[1], "*.hlf")))
    problems = [] if files else ["no help file in %s" % sys.argv[1]]
    for path in files:
        problems += problems_of(path)
    orders = {path: [name for name, _ in topics_of(path)] for path in files}
    for path in files[1:]:
        if orders[path] != orders[files[0]]:
            problems.append("%s: topics differ from %s: %s against %s"
                            % (path, files[0], orders[path], orders[files[0]]))
    for problem in problems:
        print(problem)
    if not problems:
        print("help topics: %s" % ", ".join(orders[files[0]]))
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
