"""Runs the development host on a panel directory of its own and reads back
its trace, for end-to-end tests of the module through either build.

SUMBREL_HOST is the host command: the path of sumbrel-host, or for the
Windows build tests/wine-run followed by the path of sumbrel-host.exe.
SUMBREL_WINEPREFIX, set for the Windows build, is the Wine prefix wine-run
uses; start() keeps a wineserver up for it so that runs do not pay for one
each.

A run happens in a temporary folder that holds the panel's directory,
"panel", and the trace file beside it, so the trace never shows on the panel.
The trace has one JSON object per host operation the module called, in order,
with the arguments as passed:

  {"op":"FetchMessageText","module":7,"id":6}
  {"op":"GetPluginInfo","size":44,"menu":["..."],"count":1,"prefix":"md5"}
  {"op":"GetPluginInfo","untouched":true}                  (disabled module)
  {"op":"ShowMessageBox","module":7,"flags":3,"help":null,
   "texts":["...","...","..."],"count":3,"buttons":1}
  {"op":"PanelCommand","panel":-1,"command":10,"arg":"info"}
                     (arg: 0, "info" for a record given to PanelGetInfo,
                      "pointer" for any other)
  {"op":"SaveScreenImage","x1":0,"y1":0,"x2":-1,"y2":-1,"handle":1}
  {"op":"RestoreScreenImage","handle":1}     (plus "error" for a bad handle)
  {"op":"RunDialog","module":7,"x1":-1,"y1":-1,"x2":66,"y2":8,
   "help":"Contents","items":[{"type":..,"x1":..,"y1":..,"x2":..,"y2":..,
   "focus":..,"selected":.. or "history":"...","flags":..,"default":..,
   "data":"..."}, ...],"count":7,"result":4}
  {"op":"end","result":-1,"selected":["a.txt"],"unrestored":0}

GetPluginInfo is a module entry point rather than a host operation; its line
records what the module published. Texts are the module's bytes: valid UTF-8
as it stands, every other byte as the character of the same number; compare
them with trace_text(expected_bytes).

Typical use:

    with make_panel({"a.txt": b"abc"}) as panel:
        run = run_host(["--dialog", "create"], dir=panel)
        self.assertEqual(run.status, 0)
        self.assertEqual(end(run.trace)["selected"], [])
        signature = panel.read("sigfile.md5")

Every test has a time limit, SUMBREL_E2E_TEST_SECONDS (900 s unless set,
the longest a test gives one run of the host): one still running then is
named, with where each thread stands, what it started is killed and the
suite ends, rather than ctest's limit for the whole suite ending it without
a word on which test hung. A run of the host
has a limit of its own (run_host's timeout) and fails as a timeout.

SUMBREL_E2E_SHARD=k/n runs only the k-th of n shares of a suite's tests
(every n-th test in the suite's order, from the k-th), so that ctest runs a
long suite's shares side by side; the n shares together are the suite.

Under Wine, a run of the module that names no --stack-offset gets one of 0,
4, 8 and 12 in turn, so that across the suite every case meets the module
at some offset a 32-bit host may call at and each offset meets many cases;
the cases that name their offset run the entry points at all four.
"""

import atexit
import codecs
import faulthandler
import functools
import json
import os
import shlex
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import threading
import unittest
from collections import namedtuple

HostRun = namedtuple("HostRun", "status trace stdout")
HostRun.__doc__ = """status: the host's exit status; trace: the parsed trace
lines (empty when the host stopped before running the module); stdout: what
the host wrote, standard error included, as text."""

TRACE_NAME = "trace.jsonl"
PANEL_NAME = "panel"
SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def _as_trace(error):
    return "".join(chr(b) for b in error.object[error.start:error.end]), error.end


codecs.register_error("sumbrel-trace", _as_trace)


def trace_text(data):
    """The text the trace shows for these bytes."""
    if isinstance(data, str):
        return data
    return data.decode("utf-8", "sumbrel-trace")


TEST_SECONDS = float(os.environ.get("SUMBREL_E2E_TEST_SECONDS") or 900)


def _kill_group(group):
    try:
        os.killpg(group, signal.SIGKILL)
    except ProcessLookupError:
        pass


def _descendants(pid):
    """Every process below pid, from /proc: a child left running would hold
    the suite's output open after the suite has ended."""
    parents = {}
    for entry in os.listdir("/proc"):
        try:
            with open("/proc/%s/stat" % entry) as stream:
                fields = stream.read().rsplit(")", 1)[1].split()
            parents.setdefault(int(fields[1]), []).append(int(entry))
        except (ValueError, OSError, IndexError):
            continue
    found, waiting = [], [pid]
    while waiting:
        children = parents.get(waiting.pop(), [])
        found += children
        waiting += children
    return found


def _time_out(test_id):
    sys.stdout.flush()
    sys.stderr.write("\nTIMEOUT: %s still running after %g s; its threads:\n"
                     % (test_id, TEST_SECONDS))
    sys.stderr.flush()
    faulthandler.dump_traceback(all_threads=True)
    for pid in _descendants(os.getpid()):
        try:
            os.kill(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
    os._exit(124)


def _with_time_limit(run):
    @functools.wraps(run)
    def limited(self, result=None):
        timer = threading.Timer(TEST_SECONDS, _time_out, [self.id()])
        timer.daemon = True
        timer.start()
        try:
            return run(self, result)
        finally:
            timer.cancel()
    return limited


# Every test of a suite that uses the harness runs under the limit.
if not getattr(unittest.TestCase.run, "sumbrel_limited", False):
    unittest.TestCase.run = _with_time_limit(unittest.TestCase.run)
    unittest.TestCase.run.sumbrel_limited = True


def _shard():
    shard = os.environ.get("SUMBREL_E2E_SHARD")
    if not shard:
        return None
    index, count = (int(part) for part in shard.split("/"))
    if not 1 <= index <= count:
        raise RuntimeError("SUMBREL_E2E_SHARD wants k/n with 1 <= k <= n, not " + shard)
    return index, count


def _flattened(suite):
    for item in suite:
        if isinstance(item, unittest.TestSuite):
            yield from _flattened(item)
        else:
            yield item


def _sharded(load):
    @functools.wraps(load)
    def loaded(self, module, *args, **kwargs):
        suite = load(self, module, *args, **kwargs)
        index, count = _shard()
        tests = list(_flattened(suite))
        return self.suiteClass(tests[index - 1::count])
    return loaded


if _shard() and not getattr(unittest.TestLoader.loadTestsFromModule, "sumbrel_sharded", False):
    unittest.TestLoader.loadTestsFromModule = _sharded(unittest.TestLoader.loadTestsFromModule)
    unittest.TestLoader.loadTestsFromModule.sumbrel_sharded = True


def run_limited(command, timeout, **options):
    """subprocess.run for a command that may start others (wine-run starts
    script, which starts wine): it runs in a process group of its own, and
    at the timeout the whole group is killed before TimeoutExpired is
    raised."""
    stdin = options.pop("stdin", subprocess.DEVNULL)
    with subprocess.Popen(command, stdin=stdin, process_group=0, **options) as process:
        try:
            stdout, stderr = process.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            _kill_group(process.pid)
            process.communicate()
            raise
    return subprocess.CompletedProcess(command, process.returncode, stdout, stderr)


def host_command():
    command = os.environ.get("SUMBREL_HOST")
    if not command:
        raise RuntimeError("SUMBREL_HOST names no host; set it to the path of sumbrel-host")
    return shlex.split(command)


def under_wine():
    return any(os.path.basename(part) == "wine-run" for part in host_command())


def start():
    """Keeps a wineserver running for the prefix while the tests run; it ends
    by itself a little while after the last run."""
    prefix = os.environ.get("SUMBREL_WINEPREFIX")
    if not prefix or not under_wine():
        return
    if not os.path.isdir(prefix):
        run_host(["--help"], trace=False)  # wine-run makes the prefix
    environment = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all")
    run_limited(["wineserver", "-p10"], 60, env=environment, stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL)


def _bytes_name(name):
    return name if isinstance(name, bytes) else name.encode("utf-8")


class PanelDir:
    """A temporary folder whose "panel" subfolder is the panel's directory.

    files maps names (str or bytes) to contents (bytes, or str written as
    UTF-8); dirs lists subdirectories to make; links maps names to what they
    lead to, made as symbolic links. A test's device is such a link to it
    ({"full": "/dev/full"}), never the device's own path: whatever the module
    does to the name, it can replace only the link. Use it as a context
    manager or call cleanup()."""

    def __init__(self, files=None, dirs=(), links=None):
        self.root = tempfile.mkdtemp(prefix="sumbrel-e2e-")
        self.path = os.path.join(self.root, PANEL_NAME)
        os.mkdir(self.path)
        for name in dirs:
            os.makedirs(self.file(name), exist_ok=True)
        for name, data in (files or {}).items():
            self.write(name, data)
        for name, target in (links or {}).items():
            os.symlink(target, self.file(name))

    def file(self, name):
        """Path of a file on the panel (bytes if the name is bytes)."""
        if isinstance(name, bytes):
            return os.path.join(os.fsencode(self.path), name)
        return os.path.join(self.path, name)

    def write(self, name, data):
        with open(self.file(name), "wb") as stream:
            stream.write(data.encode("utf-8") if isinstance(data, str) else data)

    def read(self, name):
        with open(self.file(name), "rb") as stream:
            return stream.read()

    def exists(self, name):
        return os.path.exists(self.file(name))

    def names(self):
        return sorted(os.listdir(os.fsencode(self.path)))

    def cleanup(self):
        shutil.rmtree(self.root, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self.cleanup()


def make_panel(files=None, dirs=(), links=None):
    return PanelDir(files, dirs, links)


def scratch_device(panel, name, numbers=(1, 7)):
    """A device made beside the panel in its scratch folder, with a Linux
    device's numbers (1, 7: /dev/full's, which takes no data), so that even
    a broken refusal writes nowhere else; a FIFO where devices cannot be
    made. Returns its path."""
    path = os.path.join(panel.root, name)
    try:
        os.mknod(path, stat.S_IFCHR | 0o666, os.makedev(*numbers))
    except PermissionError:
        os.mkfifo(path)
    return path


def read_trace(path):
    if not os.path.exists(path):
        return []
    with open(path, "rb") as stream:
        text = stream.read().decode("utf-8")
    trace = []
    for number, line in enumerate(text.splitlines(), 1):
        if not line.strip():
            continue
        try:
            trace.append(json.loads(line))
        except ValueError as error:
            raise AssertionError("trace line %d is not JSON (%s): %r" % (number, error, line))
    return trace


STACK_OFFSETS = (0, 4, 8, 12)
_runs_of_the_module = 0


def _stack_offset(args):
    """The --stack-offset option for the next run of the module under Wine:
    none where the run names its own, or another module, or natively."""
    global _runs_of_the_module
    if not under_wine() or "--stack-offset" in args or "--module" in args:
        return []
    offset = STACK_OFFSETS[_runs_of_the_module % len(STACK_OFFSETS)]
    _runs_of_the_module += 1
    return ["--stack-offset", str(offset)]


def _joined_empty_values(args):
    """["--name", ""] as ["--name="]: the same to the host, and an empty
    argument does not survive every wrapper on the way to Wine."""
    args = list(args)
    joined = []
    i = 0
    while i < len(args):
        if (isinstance(args[i], str) and args[i].startswith("--") and i + 1 < len(args)
                and args[i + 1] in ("", b"")):
            joined.append(args[i] + "=")
            i += 2
        else:
            joined.append(args[i])
            i += 1
    return joined


def run_host(args=(), dir=None, files=None, keys=None, batch=True, trace=True, stdin=None,
             timeout=300, env=None):
    """Runs the host once and returns HostRun(status, trace, stdout).

    dir: a PanelDir (the run happens in its folder with --dir panel), a path
    (given to --dir as an absolute path, the run happening in a fresh folder),
    or None for a temporary panel holding files, removed afterwards.
    keys: the --keys list. batch adds --batch, so that nothing waits for a
    user. trace adds --trace with a file name relative to the run's folder.
    args come last and so can override the others. stdin: a file descriptor
    for the host's standard input (default: nothing). env: variables added to
    the host's environment."""
    own = None
    if dir is None:
        own = dir = PanelDir(files)
    try:
        if isinstance(dir, PanelDir):
            folder, panel, scratch = dir.root, PANEL_NAME, None
        else:
            folder = scratch = tempfile.mkdtemp(prefix="sumbrel-e2e-")
            panel = os.path.abspath(dir)
        trace_path = os.path.join(folder, TRACE_NAME)
        if os.path.exists(trace_path):
            os.remove(trace_path)
        command = host_command() + ["--dir", panel]
        if trace:
            command += ["--trace", TRACE_NAME]
        if batch:
            command += ["--batch"]
        if keys is not None:
            command += ["--keys", keys]
        command += _stack_offset(args)
        command += _joined_empty_values(args)
        completed = run_limited(
            command, timeout, cwd=folder, stdin=subprocess.DEVNULL if stdin is None else stdin,
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
            env=dict(os.environ, **env) if env else None)
        lines = read_trace(trace_path) if trace else []
        if scratch:
            shutil.rmtree(scratch, ignore_errors=True)
        output = completed.stdout.decode("utf-8", "replace")
        return HostRun(completed.returncode, lines, output)
    finally:
        if own:
            own.cleanup()


_LOCALES = None


def locale_env(locale):
    """Variables for a run under this locale, "ru_RU.UTF-8" for instance:
    under Wine the ANSI code page follows it (C.UTF-8: 1252, ru_RU.UTF-8:
    1251), and Unix names stay UTF-8. The locale is made with localedef into
    a private folder once per test process."""
    global _LOCALES
    if locale.startswith("C."):
        return {"LC_ALL": locale}
    if _LOCALES is None:
        _LOCALES = tempfile.mkdtemp(prefix="sumbrel-locales-")
        atexit.register(shutil.rmtree, _LOCALES, True)
    path = os.path.join(_LOCALES, locale)
    if not os.path.isdir(path):
        language, charset = locale.split(".")
        # Warnings about the locale's sources leave a usable locale.
        run_limited(["localedef", "-i", language, "-f", charset, path], 120,
                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not os.path.isdir(path):
            raise RuntimeError("localedef made no %s (is the locales package there?)" % locale)
    return {"LOCPATH": _LOCALES, "LC_ALL": locale}


def one_file_at_a_time(test):
    """Runs a test with the module digesting one file after another, each
    with its own progress notice, as the cases that time an Escape to the
    Nth notice or read which files were opened from the notices need. The
    runs of many files at once are compared with these in their own cases."""
    @functools.wraps(test)
    def wrapped(*args, **kwargs):
        saved = os.environ.get("SUMBREL_FILES_AT_ONCE")
        os.environ["SUMBREL_FILES_AT_ONCE"] = "1"
        try:
            return test(*args, **kwargs)
        finally:
            if saved is None:
                del os.environ["SUMBREL_FILES_AT_ONCE"]
            else:
                os.environ["SUMBREL_FILES_AT_ONCE"] = saved
    return wrapped


def ops(trace, *names):
    """The trace lines of the given operations, in order."""
    return [line for line in trace if line["op"] in names]


def end(trace):
    """The last line, which must be the end line."""
    if not trace or trace[-1]["op"] != "end":
        raise AssertionError("the trace has no end line: %r" % trace[-1:])
    return trace[-1]


def message_texts(language="Eng"):
    """The texts of a message file in the sources, as bytes."""
    path = os.path.join(SOURCE_DIR, "resources", "Sumbrel%s.lng" % language)
    with open(path, "rb") as stream:
        lines = stream.read().split(b"\n")
    return [line[1:line.rindex(b'"')] for line in lines if line.startswith(b'"')]
