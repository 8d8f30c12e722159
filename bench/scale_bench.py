#!/usr/bin/env python3
"""Scale benchmark: whether creation over the whole panel costs the same per
item in a folder of 20,000 files as in one of 2,000. Each figure runs the
development host with the cursor on "..", in folders of tiny files, taking
turns between the two sizes round after round and keeping each side's best
wall-clock time; the start-up cost, measured on an empty folder the same
way, is taken off both. The ratio is the per-item cost at 2,000 over the
per-item cost at 20,000: near 1 is linear, a pass that grows with the square
of the folder falls towards 0.1.

    scale_bench.py DATA NATIVE_HOST WINE_RUN WINDOWS_HOST
"""
import os
import subprocess
import sys
import time

SMALL, LARGE = 2000, 20000
ROUNDS = int(os.environ.get("SUMBREL_BENCH_ROUNDS", "3"))


def make_folder(path, count, stem):
    """count files of a few bytes, named stem and a number; a marker beside
    the folder, written last, tells a finished folder from one cut short."""
    done = path + ".complete"
    if os.path.exists(done):
        return path
    os.makedirs(path, exist_ok=True)
    for i in range(count):
        with open(os.path.join(path, "%s%05d.txt" % (stem, i)), "wb") as stream:
            stream.write(b"%d\n" % i)
    open(done, "wb").close()
    return path


def seconds(command, folder, env):
    target = os.path.join(folder, "sigfile.md5")
    if os.path.exists(target):
        os.remove(target)
    start = time.monotonic()
    subprocess.run(command + ["--dir", folder, "--dialog", "create", "--batch", "--quiet"],
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, env=env, check=True)
    return time.monotonic() - start


def figure(name, command, data, stem, env, what):
    folders = {count: make_folder(os.path.join(data, "%s-%d" % (name, count)), count, stem)
               for count in (0, SMALL, LARGE)}
    best = {count: float("inf") for count in folders}
    for _ in range(ROUNDS):
        for count, folder in folders.items():
            best[count] = min(best[count], seconds(command, folder, env))
    per_item = {count: max(best[count] - best[0], 1e-9) / count for count in (SMALL, LARGE)}
    print("%-18s %6.3f  %d items %7.1f us/item  %d items %7.1f us/item  (%s)" % (
        name, per_item[SMALL] / per_item[LARGE], LARGE, per_item[LARGE] * 1e6, SMALL,
        per_item[SMALL] * 1e6, what))


def main():
    data, native_host, wine_run, windows_host = sys.argv[1:5]
    env = dict(os.environ)
    figure("create-scale", [native_host], data, "file", env,
           "creation over the whole panel, natively; per item at 2,000 over per item at 20,000")
    # Under Wine with code page 1252, Cyrillic names are beyond it: the host
    # lists them with '?', and each item's real name is looked up.
    wine_env = dict(env, LANG="C.UTF-8", LC_ALL="C.UTF-8")
    windows = [wine_run, windows_host]
    figure("create-scale-wine", windows, data, "file", wine_env,
           "the same with the real DLL under Wine, ASCII names")
    figure("create-scale-beyond", windows, data, "\u0444\u0430\u0439\u043b", wine_env,
           "the same under Wine, names beyond code page 1252")


if __name__ == "__main__":
    main()
