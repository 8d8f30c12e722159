#!/usr/bin/env python3
"""Wine benchmark: the real DLL, through the Windows development host under
Wine with a console (tests/wine-run), on the runs a user meets first.

  one-large-win32         verifying one file of 512 MiB by an MD5 list,
                          against md5sum -c natively
  one-large-sha256-win32  the same by a SHA-256 list, against sha256sum -c
  one-large-b3-win32      the same by a BLAKE3 list, against b3sum -c (its
                          own threads)
  many-small-win32        verifying 20,000 files of 4 KiB (the many-small
                          set), against a 32-bit program under Wine that only
                          opens, reads and closes each listed file in turn
  tree-create-wine        creation over a folder of 20,000 files of a few
                          bytes (the cursor on the folder, so the files are
                          walked), against the same run one file at a time
                          (SUMBREL_FILES_AT_ONCE=1)

Every side is timed by the wall clock, taking turns round after round and
keeping its best run; a side under Wine has its best run on an empty folder
(or an empty list) taken off, since starting Wine and its console is no
part of the work. The ratio is the peer's time over the module's: above 1
the module is faster.

    wine_bench.py DATA WINE_RUN WINDOWS_HOST READ_EACH
"""
import os
import random
import subprocess
import sys
import time

ROUNDS = int(os.environ.get("SUMBREL_BENCH_ROUNDS", "3"))
LARGE_SIZE = 512 << 20
TREE_FILES = 20000


def run(command, cwd, env=None, output=False):
    """Wall-clock seconds, exit status and (when asked) the output of a run."""
    start = time.monotonic()
    done = subprocess.run(command, cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE if output else subprocess.DEVNULL,
                          stderr=subprocess.STDOUT if output else subprocess.DEVNULL)
    seconds = time.monotonic() - start
    return seconds, done.returncode, done.stdout.decode("utf-8", "replace") if output else ""


def contest(sides):
    """Each side a (name, function returning seconds); they take turns, in
    turn order reversed every other round, and each keeps its best."""
    best = {name: float("inf") for name, _ in sides}
    for turn in range(ROUNDS):
        for name, side in (sides if turn % 2 == 0 else list(reversed(sides))):
            best[name] = min(best[name], side())
    return best


LARGE_LISTS = (("md5sum", "large.md5"), ("sha256sum", "large.sha256"), ("b3sum", "large.b3"))


def make_lists(path):
    """The file's lists, each made by its tool, those missing only: a set
    finished before a list was part of it gets that one now."""
    for tool, lists in LARGE_LISTS:
        if not os.path.exists(os.path.join(path, lists)):
            with open(os.path.join(path, lists + ".part"), "wb") as stream:
                subprocess.run([tool, "large.bin"], cwd=path, stdout=stream, check=True)
            os.rename(os.path.join(path, lists + ".part"), os.path.join(path, lists))


def make_large(path):
    """One file of pseudo-random bytes and its lists, made by md5sum,
    sha256sum and b3sum; a marker written last tells a finished set."""
    done = os.path.join(path, "complete")
    if os.path.exists(done):
        make_lists(path)
        return path
    os.makedirs(path, exist_ok=True)
    chance = random.Random(512)
    with open(os.path.join(path, "large.bin"), "wb") as stream:
        for _ in range(LARGE_SIZE >> 20):
            stream.write(chance.randbytes(1 << 20))
    make_lists(path)
    open(done, "wb").close()
    return path


def make_tree(path):
    """A folder "tree" of 20,000 files of one to five bytes, alone in path."""
    done = os.path.join(path, "complete")
    if os.path.exists(done):
        return path
    tree = os.path.join(path, "tree")
    os.makedirs(tree, exist_ok=True)
    chance = random.Random(20000)
    for i in range(TREE_FILES):
        with open(os.path.join(tree, "t%05d.txt" % i), "wb") as stream:
            stream.write(chance.randbytes(chance.randrange(1, 6)))
    open(done, "wb").close()
    return path


def entries(path):
    found = {}
    if os.path.exists(path):
        with open(path, "rb") as stream:
            for line in stream.read().decode("utf-8", "replace").splitlines():
                if line.strip() and not line.startswith(";"):
                    found[line[32:].lstrip(" *").replace("\\", "/")] = line[:32].lower()
    return found


def report(name, module, peer, what, start=None):
    print("%-22s %6.3f  module %7.3f s  peer %7.3f s  (%s)" % (
        name, peer / module, module, peer, what))
    if start is not None:
        print("%-22s limit   Wine's start-up with a console %.3f s (taken off)" % (name, start))
    sys.stdout.flush()


def verify_large(name, wine, folder, empty, lists, tool):
    host = wine + ["--batch", "--dir", folder, "--command", lists]
    _, status, output = run(host, folder, output=True)
    if status != 0 or "Files checked: 1" not in output or "\n0 items selected\n" not in output:
        sys.exit("wine bench: %s: the DLL did not find the file intact" % name)
    best = contest([
        ("module", lambda: run(wine + ["--batch", "--quiet", "--dir", folder, "--command",
                                       lists], folder)[0]),
        ("start", lambda: run(wine + ["--batch", "--quiet", "--dir", empty], empty)[0]),
        ("peer", lambda: run([tool, "-c", "--quiet", lists], folder)[0])])
    report(name, max(best["module"] - best["start"], 1e-9), best["peer"],
           "the DLL under Wine vs %s -c natively; one file of 512 MiB, wall clock less "
           "Wine's start-up" % tool, best["start"])


def many_small(wine, wine_run, read_each, folder, empty):
    host = wine + ["--batch", "--dir", folder, "--command", "many.md5"]
    _, status, output = run(host, folder, output=True)
    if status != 0 or "Files checked: 20000" not in output or \
            "\n0 items selected\n" not in output:
        sys.exit("wine bench: many-small-win32: the DLL did not find every file intact")
    empty_list = os.path.join(empty, "empty.md5")
    open(empty_list, "wb").close()
    _, status, output = run([wine_run, read_each, "many.md5"], folder, output=True)
    if status != 0 or "read 20000 files" not in output:
        sys.exit("wine bench: many-small-win32: the peer did not read every file")
    best = contest([
        ("module", lambda: run(wine + ["--batch", "--quiet", "--dir", folder, "--command",
                                       "many.md5"], folder)[0]),
        ("start", lambda: run(wine + ["--batch", "--quiet", "--dir", empty], empty)[0]),
        ("peer", lambda: run([wine_run, read_each, "many.md5"], folder)[0]),
        ("peer start", lambda: run([wine_run, read_each, "empty.md5"], empty)[0])])
    report("many-small-win32", max(best["module"] - best["start"], 1e-9),
           max(best["peer"] - best["peer start"], 1e-9),
           "the DLL under Wine vs open, read and close of each file under Wine; 20,000 files "
           "of 4 KiB, wall clock less each one's start-up", best["start"])


def tree_create(wine, folder, empty):
    target = os.path.join(folder, "sigfile.md5")
    one_at_a_time = dict(os.environ, SUMBREL_FILES_AT_ONCE="1")
    lists = {}

    def create(side, env):
        if os.path.exists(target):
            os.remove(target)
        seconds, status, _ = run(wine + ["--dir", folder, "--cursor", "tree", "--dialog",
                                         "create", "--batch", "--quiet"], folder, env)
        lists[side] = entries(target)
        return seconds if status == 0 else float("inf")

    best = contest([
        ("module", lambda: create("module", None)),
        ("start", lambda: run(wine + ["--batch", "--quiet", "--dir", empty], empty)[0]),
        ("peer", lambda: create("peer", one_at_a_time))])
    if os.path.exists(target):
        os.remove(target)
    if len(lists["module"]) != TREE_FILES or lists["module"] != lists["peer"]:
        sys.exit("wine bench: tree-create-wine: the lists differ (%d and %d entries)" % (
            len(lists["module"]), len(lists["peer"])))
    report("tree-create-wine", max(best["module"] - best["start"], 1e-9),
           max(best["peer"] - best["start"], 1e-9),
           "the DLL under Wine creating over a walked folder vs the same one file at a time; "
           "20,000 files of a few bytes, wall clock less Wine's start-up", best["start"])


def main():
    data, wine_run, windows_host, read_each = (os.path.abspath(p) for p in sys.argv[1:5])
    # Each run goes into its own folder: without this, wine-run would make a
    # Wine prefix in every one of them.
    os.environ.setdefault("SUMBREL_WINEPREFIX", os.path.join(
        os.path.dirname(os.path.dirname(windows_host)), "wineprefix"))
    wine = [wine_run, windows_host]
    empty = os.path.join(data, "many-empty")
    os.makedirs(empty, exist_ok=True)
    small = os.path.join(data, "many-small-20000")
    if not os.path.exists(os.path.join(small, "complete")):
        sys.exit("wine bench: run sumbrel-many-bench first: it makes %s" % small)
    only = sys.argv[5:]
    large = make_large(os.path.join(data, "one-large-512m"))
    if not only or "one-large-win32" in only:
        verify_large("one-large-win32", wine, large, empty, "large.md5", "md5sum")
    if not only or "one-large-sha256-win32" in only:
        verify_large("one-large-sha256-win32", wine, large, empty, "large.sha256", "sha256sum")
    if not only or "one-large-b3-win32" in only:
        verify_large("one-large-b3-win32", wine, large, empty, "large.b3", "b3sum")
    if not only or "many-small-win32" in only:
        many_small(wine, wine_run, read_each, small, empty)
    if not only or "tree-create-wine" in only:
        tree_create(wine, make_tree(os.path.join(data, "tree-wine-20000")), empty)


if __name__ == "__main__":
    main()
