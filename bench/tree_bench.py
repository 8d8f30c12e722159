#!/usr/bin/env python3
"""Tree benchmark: creation over the whole panel (cursor on "..") of a folder
holding 200 folders of 100 files of 4 KiB, run through the native
development host, against md5sum of every file in the tree found by find and
xargs. Each side is timed by the wall clock, taking turns round after round
and keeping its best run. Creation that does not descend into folders lists
nothing there; the figure is then printed with a remark, since it measures
no signing at all.

    tree_bench.py DATA NATIVE_HOST
"""
import os
import random
import subprocess
import sys
import time

FOLDERS, FILES_EACH, FILE_SIZE = 200, 100, 4096
FILES = FOLDERS * FILES_EACH
ROUNDS = int(os.environ.get("SUMBREL_BENCH_ROUNDS", "3"))
CREATED, PEER_LIST = "sigfile.md5", "list"
PEER = "find . -type f ! -path ./%s -print0 | xargs -0 md5sum >%s" % (PEER_LIST, PEER_LIST)


def make_tree(path):
    """The tree of pseudo-random files; a marker beside it, written last,
    tells a finished tree from one cut short."""
    done = path + ".complete"
    if os.path.exists(done):
        return path
    chance = random.Random(2024)
    for folder in range(FOLDERS):
        inside = os.path.join(path, "d%03d" % folder)
        os.makedirs(inside, exist_ok=True)
        for i in range(FILES_EACH):
            with open(os.path.join(inside, "f%03d.bin" % i), "wb") as stream:
                stream.write(chance.randbytes(FILE_SIZE))
    open(done, "wb").close()
    return path


def entries(path):
    """The list's entries by name (as md5sum gives it, from the tree's root),
    each with its digest."""
    found = {}
    if not os.path.exists(path):
        return found
    with open(path, "rb") as stream:
        for line in stream.read().decode("utf-8", "replace").splitlines():
            if not line.strip() or line.startswith(";"):
                continue
            digest, name = line[:32], line[32:].lstrip(" *").replace("\\", "/")
            found[name if name.startswith("./") else "./" + name] = digest.lower()
    return found


def remove_lists(tree):
    for name in (CREATED, PEER_LIST):
        if os.path.exists(os.path.join(tree, name)):
            os.remove(os.path.join(tree, name))


def timed(command, tree, shell=False):
    """Wall-clock seconds and exit status of a run that starts with neither
    side's list in the tree, so that neither lists the other's."""
    remove_lists(tree)
    start = time.monotonic()
    status = subprocess.run(command, cwd=tree, shell=shell, stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
    return time.monotonic() - start, status


def main():
    data, host = (os.path.abspath(path) for path in sys.argv[1:3])
    tree = make_tree(os.path.join(data, "tree-%d" % FILES))
    module_command = [host, "--dir", tree, "--dialog", "create", "--batch", "--quiet"]
    # What bounds it: the walk alone, and cat of every file to /dev/null (the
    # page cache's copy), which also brings the tree into the cache.
    walk = min(timed("find . -type f >/dev/null", tree, shell=True)[0] for _ in range(ROUNDS))
    cat = min(timed("find . -type f -exec cat {} + >/dev/null", tree, shell=True)[0]
              for _ in range(ROUNDS))
    best = {"module": float("inf"), "peer": float("inf")}
    for turn in range(ROUNDS):
        for side in (["module", "peer"] if turn % 2 == 0 else ["peer", "module"]):
            if side == "module":
                seconds, status = timed(module_command, tree)
                listed, module_status = entries(os.path.join(tree, CREATED)), status
            else:
                seconds, status = timed(PEER, tree, shell=True)
                if status != 0:
                    sys.exit("tree bench: the peer failed")
                expected = entries(os.path.join(tree, PEER_LIST))
            best[side] = min(best[side], seconds)
    remove_lists(tree)
    if len(expected) != FILES:
        sys.exit("tree bench: md5sum listed %d files of %d" % (len(expected), FILES))
    if len(listed) < FILES:
        remark = "; NOT A REAL FIGURE: the module's list holds %d entries of %s files " \
                 "(host status %d)" % (len(listed), format(FILES, ","), module_status)
    elif listed != expected:
        sys.exit("tree bench: the module's list and md5sum's differ")
    else:
        remark = ""
    print("%-18s limit   find alone %.3f s, cat of every file to /dev/null %.3f s" % (
        "tree-create", walk, cat))
    print("%-18s %6.3f  module %7.3f s  peer %7.3f s  (sumbrel-host --dialog create vs "
          "find | xargs md5sum; 20,000 files of 4 KiB in 200 folders, wall clock%s)" % (
              "tree-create", best["peer"] / best["module"], best["module"], best["peer"], remark))


if __name__ == "__main__":
    main()
